#include "quor_inet/resources/string_lookup.h"

#include <mutex>

#include "afx/ascii.h"
#include "afx/cstring.h"
#include "afx/exceptions.h"
#include "quor_inet/resources/string_source.h"

namespace {

char g_szLookup[kLookupBufferSize];
// Lookups come from the dialog's thread and the crawl worker; filling the buffer one at a
// time keeps every text in it whole and terminated.
std::mutex g_lookupMutex;

}  // namespace

const char* LoadResString(unsigned id) {
    if (id == 0) {
        return nullptr;
    }
    PrepareStringSource();
    CString text;
    try {
        if (!text.LoadString(id)) {
            return nullptr;
        }
    } catch (CException* e) {
        e->Delete();
        return nullptr;
    } catch (...) {
        return nullptr;  // out of memory in the chain itself
    }
    std::lock_guard lock(g_lookupMutex);
    afx::CopyBounded(g_szLookup, sizeof g_szLookup, static_cast<const char*>(text));
    return g_szLookup;
}
