#pragma once

#include "afx/cstring.h"

// The resource search chain. A lookup by id asks the host program first and then the
// modules added here, in the order they were added; on Windows the platform's resource
// loader picks the language that suits the calling thread. Natively there are no modules:
// string providers take their place (a native build of the library registers its table).
// Registration normally happens once at load; lookups may come from any thread.

// Windows: adds a module (an HMODULE) behind those already in the chain; adding one twice
// keeps one entry. Natively the modules are remembered but hold no resources.
void AfxAddResourceModule(void* module);
void AfxRemoveResourceModule(void* module) noexcept;

// The first module of the chain holding a resource of that name and type (ids written as
// MAKEINTRESOURCE casts); null when none has it or natively.
void* AfxFindResourceHandle(const char* name, const char* type) noexcept;

// Fills text and returns true when it knows the id.
using AfxStringProvider = bool (*)(unsigned id, CString& text);

// Providers are asked after the modules, in the order they were added.
void AfxAddStringProvider(AfxStringProvider provider);
void AfxRemoveStringProvider(AfxStringProvider provider) noexcept;

// Looks a string up through the whole chain; text is set only when found. Id 0 is never
// found.
bool AfxLookupString(unsigned id, CString& text);
