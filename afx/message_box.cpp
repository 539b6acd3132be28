#include "afx/message_box.h"

#include <atomic>

#include "afx/cstring.h"
#include "afx/message_box_internal.h"

namespace {

std::atomic<MessageBoxService*> g_service{nullptr};

}  // namespace

MessageBoxService* AfxSetMessageBoxService(MessageBoxService* service) noexcept {
    return g_service.exchange(service);
}

int AfxMessageBox(const char* text, unsigned type) {
    MessageBoxService* service = g_service.load();
    if (service == nullptr) {
        service = &AfxDefaultMessageBoxService();
    }
    return service->Show(text ? text : "", type);
}

int AfxMessageBox(unsigned stringId, unsigned type) {
    CString text;
    text.LoadString(stringId);
    return AfxMessageBox(text, type);
}
