#include "maker/quor_prof/quor_prof.h"

#include <utility>

#include "afx/exceptions.h"
#include "maker/quor_prof/quor_prof_store.h"

namespace {

bool Valid(const char* section, const char* key, int store) {
    return section != nullptr && *section != '\0' && key != nullptr && *key != '\0' &&
           (store == kQuorProfUser || store == kQuorProfMachine);
}

template <typename Body>
bool Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return false;
}

}  // namespace

int Quor_GetRegistryString(const char* section, const char* key, CString& valueOut,
                           const char* defaultValue, int store) {
    if (Valid(section, key, store) && Guarded([&] {
            CString found;
            if (!ProfReadString(store == kQuorProfUser, section, key, found)) {
                return false;
            }
            valueOut = std::move(found);
            return true;
        })) {
        return 1;
    }
    Guarded([&] {
        valueOut = defaultValue;
        return true;
    });
    return 0;
}

uint32_t Quor_GetRegistryDWord(const char* section, const char* key, uint32_t defaultValue,
                               int store) {
    uint32_t value = defaultValue;
    if (Valid(section, key, store) &&
        Guarded([&] { return ProfReadNumber(store == kQuorProfUser, section, key, value); })) {
        return value;
    }
    return defaultValue;
}

int Quor_WriteRegistryString(const char* section, const char* key, const char* value, int store) {
    return Valid(section, key, store) && Guarded([&] {
               return ProfWriteString(store == kQuorProfUser, section, key,
                                      value != nullptr ? value : "");
           })
               ? 1
               : 0;
}

int Quor_WriteRegistryDWord(const char* section, const char* key, uint32_t value, int store) {
    return Valid(section, key, store) && Guarded([&] {
               return ProfWriteNumber(store == kQuorProfUser, section, key, value);
           })
               ? 1
               : 0;
}
