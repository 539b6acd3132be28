#pragma once

#include <vector>

#include "afx/cstring.h"

// Platform half of the resource chain (resources_win.cpp, resources_native.cpp).

// The host program's module, searched before every added one; null natively.
void* AfxHostModule() noexcept;
// Loads string id from module into text; false when the module lacks it.
bool AfxLoadModuleString(void* module, unsigned id, CString& text);
bool AfxModuleHasResource(void* module, const char* name, const char* type) noexcept;

// Host module first, then the added modules in order.
std::vector<void*> AfxResourceChain();
