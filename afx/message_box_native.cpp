#include <cstdio>

#include "afx/message_box_internal.h"

namespace {

// Nobody can answer here: the text goes to stderr and the box counts as cancelled.
class StderrMessageBox : public MessageBoxService {
  public:
    int Show(const char* text, unsigned) override {
        fprintf(stderr, "%s\n", text);
        return IDCANCEL;
    }
};

}  // namespace

MessageBoxService& AfxDefaultMessageBoxService() noexcept {
    static StderrMessageBox service;
    return service;
}

void* AfxGetMainWnd() noexcept {
    return nullptr;
}
