#include "platform/win32/win32_library.h"

#include <windows.h>

#include <string>

namespace tamber::win32 {

namespace {

// The search for the libraries a library imports, when it is loaded by its
// full path. LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32:
// the library's own folder (the store), then the system folder; nothing
// else. The flags exist from Windows 8 on, and on Windows 7 with update
// KB2533623; the system documents AddDllDirectory's presence as the test.
// Without them LoadLibraryExW refuses the flags, so the library is loaded
// with LOAD_WITH_ALTERED_SEARCH_PATH instead: its own folder takes the
// program's folder's place at the head of the standard search, followed by
// the store set with SetDllDirectoryW, the system folders and then PATH. The
// lobby itself is still the store's; only an import found in neither folder
// could then come from PATH.
DWORD import_search_flags() {
    static const DWORD flags = [] {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        const bool restricted = kernel && GetProcAddress(kernel, "AddDllDirectory");
        return restricted ? DWORD{LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32}
                          : DWORD{LOAD_WITH_ALTERED_SEARCH_PATH};
    }();
    return flags;
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:\...", "\\server\..." or "\...": not relative to a folder of ours.
bool is_rooted(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && is_separator(path[0]));
}

// The full path of `name` in `folder` (the current directory when empty),
// with '.' and '..' resolved; empty when there is none.
std::wstring full_path(const std::wstring& folder, const std::wstring& name) {
    std::wstring joined = name;
    if (!folder.empty() && !is_rooted(name)) {
        joined = folder;
        if (!is_separator(joined.back())) joined += L'\\';
        joined += name;
    }
    const DWORD needed = GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(joined.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return {};
    full.resize(written);
    return full;
}

// A byte string in the system's code page, as LoadLibraryA reads it.
std::wstring widen(const char* text) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed);
    wide.resize(static_cast<size_t>(needed - 1));
    return wide;
}

}  // namespace

void* library_loader::open(const char* path, uint32_t& error) {
    const std::wstring name = path ? widen(path) : std::wstring();
    const std::wstring full = name.empty() ? std::wstring() : full_path(folder_, name);
    if (full.empty()) {
        error = error_mod_not_found;
        return nullptr;
    }
    HMODULE module = LoadLibraryExW(full.c_str(), nullptr, import_search_flags());
    error = module ? 0 : GetLastError();
    return module;
}

void* library_loader::symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void library_loader::close(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace tamber::win32
