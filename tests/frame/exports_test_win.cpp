// quor_inet.dll loaded at run time as a host may bind it: by name or by ordinal.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// GetProcAddress's result as the function type it really has.
template <typename F>
F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct Export {
    const char* name;
    unsigned ordinal;
};

// The host's binary interface: these names at these ordinals, and nothing else.
constexpr Export kExports[] = {
    {"_ZN5AudioC1ERKS_", 1},    {"_ZN8cTocInfoC1ERKS_", 2}, {"_ZN8cTocInfoC1Ev", 3},
    {"_ZN8cTocInfoD1Ev", 4},    {"_ZN5AudioaSERKS_", 5},    {"_ZN2DAaSERKS_", 6},
    {"_ZN8cTocInfoaSERKS_", 7}, {"INet_DoInternetDlg", 8},  {"INet_Download", 9},
    {"_ZN2DA4ZeroEv", 10},
};

class Library {
  public:
    explicit Library(const char* name) : m_module(LoadLibraryA(name)) {}
    ~Library() { Free(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE Get() const { return m_module; }
    void Free() {
        if (m_module != nullptr) {
            FreeLibrary(m_module);
            m_module = nullptr;
        }
    }

  private:
    HMODULE m_module;
};

const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.Size == 0) {
        return nullptr;
    }
    return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
}

std::vector<std::string> ExportedNames(HMODULE module) {
    std::vector<std::string> names;
    const IMAGE_EXPORT_DIRECTORY* directory = ExportDirectory(module);
    if (directory == nullptr) {
        return names;
    }
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* nameRvas = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    }
    return names;
}

TEST(ExportTable, EveryExportByNameAndByOrdinal) {
    for (const char* dll : {"quor_inet.dll", "quor_inet_probe.dll"}) {
        SCOPED_TRACE(dll);
        Library library(dll);
        ASSERT_NE(library.Get(), nullptr) << GetLastError();
        for (const Export& e : kExports) {
            SCOPED_TRACE(e.name);
            FARPROC byName = GetProcAddress(library.Get(), e.name);
            FARPROC byOrdinal = GetProcAddress(library.Get(), MAKEINTRESOURCEA(e.ordinal));
            ASSERT_NE(byName, nullptr);
            EXPECT_EQ(byName, byOrdinal) << "ordinal " << e.ordinal;
        }
    }
}

TEST(ExportTable, NothingElseIsExported) {
    Library library("quor_inet.dll");
    ASSERT_NE(library.Get(), nullptr);
    const IMAGE_EXPORT_DIRECTORY* directory = ExportDirectory(library.Get());
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(directory->Base, 1u);
    EXPECT_EQ(directory->NumberOfFunctions, 10u);
    std::vector<std::string> names = ExportedNames(library.Get());
    EXPECT_EQ(names.size(), 10u);
    for (const std::string& name : names) {
        bool known = false;
        for (const Export& e : kExports) {
            known = known || name == e.name;
        }
        EXPECT_TRUE(known) << name;
    }
    EXPECT_EQ(GetProcAddress(library.Get(), MAKEINTRESOURCEA(11)), nullptr);
}

// The library imports only system libraries and those of its maker; no helper DLL of the
// compiler (everything else is linked in).
TEST(ExportTable, ImportsOnlySystemAndMakerLibraries) {
    Library library("quor_inet.dll");
    ASSERT_NE(library.Get(), nullptr);
    auto* base = reinterpret_cast<const BYTE*>(library.Get());
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(entry.Size, 0u);
    const char* allowed[] = {"kernel32.dll", "user32.dll",    "msvcrt.dll",   "advapi32.dll",
                             "wininet.dll",  "ole32.dll",     "comctl32.dll", "shell32.dll",
                             "gdi32.dll",    "quor_prof.dll", "sndcore.dll"};
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
         d->Name != 0; ++d) {
        std::string name(reinterpret_cast<const char*>(base + d->Name));
        for (char& c : name) {
            c = char(tolower(static_cast<unsigned char>(c)));
        }
        bool ok = false;
        for (const char* a : allowed) {
            ok = ok || name == a;
        }
        EXPECT_TRUE(ok) << name;
    }
}

int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(param);
    }
    return TRUE;
}

// Top-level and message-only windows of this process.
int WindowsOfThisProcess() {
    int count = 0;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count));
    HWND window = nullptr;
    for (int i = 0; i < 10000; ++i) {
        window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr);
        if (window == nullptr) {
            break;
        }
        CountOwnWindow(window, reinterpret_cast<LPARAM>(&count));
    }
    return count;
}

TEST(LoadAndUnload, LeaveNoWindowAndNoThread) {
    // A first cycle settles what the system itself keeps once a library has been loaded.
    {
        Library warmUp("quor_inet.dll");
        ASSERT_NE(warmUp.Get(), nullptr);
    }
    const int threads = ThreadsOfThisProcess();
    const int windows = WindowsOfThisProcess();
    ASSERT_GT(threads, 0);
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE(cycle);
        Library library("quor_inet.dll");
        ASSERT_NE(library.Get(), nullptr);
        EXPECT_EQ(ThreadsOfThisProcess(), threads) << "while loaded";
        EXPECT_EQ(WindowsOfThisProcess(), windows) << "while loaded";
        library.Free();
        EXPECT_EQ(GetModuleHandleA("quor_inet.dll"), nullptr) << "really unloaded";
        EXPECT_EQ(ThreadsOfThisProcess(), threads);
        EXPECT_EQ(WindowsOfThisProcess(), windows);
    }
}

TEST(LoadAndUnload, ProgressObjectExistsFromLoadAndPercentStartsUnset) {
    Library library("quor_inet_probe.dll");
    ASSERT_NE(library.Get(), nullptr);
    using Unsigned = unsigned (*)();
    using Int = int (*)();
    auto progressTemplate = Bind<Unsigned>(library.Get(), "QuorProbe_ProgressTemplate");
    auto lastPercent = Bind<Int>(library.Get(), "QuorProbe_LastPercent");
    ASSERT_NE(progressTemplate, nullptr);
    ASSERT_NE(lastPercent, nullptr);
    EXPECT_EQ(progressTemplate(), 1000u);
    EXPECT_EQ(lastPercent(), -1);
}

}  // namespace
