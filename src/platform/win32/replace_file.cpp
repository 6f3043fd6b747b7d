// The store's last step of a write on Windows: the finished temporary file
// takes the old file's place in one MoveFileExW. Compiled into the core, the
// one piece of the file store that needs the system's own call (the C
// runtime's rename refuses an existing target).
#include <windows.h>

#include <string>

#include "update/file_store.h"

namespace tamber {

namespace {

// A name as the C runtime's narrow-name calls read it (fopen, _stat64,
// _mkdir): text in the code page of the file functions, the ANSI one unless
// the process has switched them to OEM. Empty when it cannot be converted.
std::wstring wide_name(const std::string& name) {
    const UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int length = MultiByteToWideChar(code_page, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(code_page, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
    return wide;
}

}  // namespace

bool replace_file(const std::string& source, const std::string& target, uint32_t& error) {
    const std::wstring from = wide_name(source);
    const std::wstring to = wide_name(target);
    if (from.empty() || to.empty()) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    error = GetLastError();
    return false;
}

}  // namespace tamber
