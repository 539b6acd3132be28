#pragma once

#include "afx/message_box.h"

// The platform's own service (message_box_win.cpp, message_box_native.cpp).
MessageBoxService& AfxDefaultMessageBoxService() noexcept;
