#include "afx/resources.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "afx/resources_internal.h"

namespace {

std::mutex g_mutex;
std::vector<void*> g_modules;
std::vector<AfxStringProvider> g_providers;

template <typename T>
void AddOnce(std::vector<T>& list, T item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

template <typename T>
void RemoveItem(std::vector<T>& list, T item) noexcept {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

void AfxAddResourceModule(void* module) {
    if (module == nullptr) {
        return;
    }
    std::lock_guard lock(g_mutex);
    AddOnce(g_modules, module);
}

void AfxRemoveResourceModule(void* module) noexcept {
    std::lock_guard lock(g_mutex);
    RemoveItem(g_modules, module);
}

void AfxAddStringProvider(AfxStringProvider provider) {
    if (provider == nullptr) {
        return;
    }
    std::lock_guard lock(g_mutex);
    AddOnce(g_providers, provider);
}

void AfxRemoveStringProvider(AfxStringProvider provider) noexcept {
    std::lock_guard lock(g_mutex);
    RemoveItem(g_providers, provider);
}

std::vector<void*> AfxResourceChain() {
    std::vector<void*> chain;
    void* host = AfxHostModule();
    if (host != nullptr) {
        chain.push_back(host);
    }
    std::lock_guard lock(g_mutex);
    for (void* module : g_modules) {
        if (module != host) {
            chain.push_back(module);
        }
    }
    return chain;
}

bool AfxLookupString(unsigned id, CString& text) {
    if (id == 0) {
        return false;
    }
    for (void* module : AfxResourceChain()) {
        if (AfxLoadModuleString(module, id, text)) {
            return true;
        }
    }
    std::vector<AfxStringProvider> providers;
    {
        std::lock_guard lock(g_mutex);
        providers = g_providers;
    }
    for (AfxStringProvider provider : providers) {
        CString found;
        if (provider(id, found)) {
            text = std::move(found);
            return true;
        }
    }
    return false;
}

void* AfxFindResourceHandle(const char* name, const char* type) noexcept {
    try {
        for (void* module : AfxResourceChain()) {
            if (AfxModuleHasResource(module, name, type)) {
                return module;
            }
        }
    } catch (...) {
        // Out of memory while copying the chain: nothing found.
    }
    return nullptr;
}
