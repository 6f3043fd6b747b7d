#include "platform/win32/win32_shell.h"

#include <mmsystem.h>
#include <shlobj.h>

#include <string>

#include "applet/library.h"
#include "platform/win32/dialog.h"
#include "resources/resource_ids.h"
#include "shell/messages.h"

namespace tamber::win32 {

namespace {
HWND window_of(window_handle window) { return static_cast<HWND>(window); }
}  // namespace

uint32_t window_system::time_ms() { return timeGetTime(); }

bool window_system::message_waiting() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

bool window_system::handle_message(window_handle main_window, int& exit_code) {
    MSG msg;
    // -1 (an error) is handled like an ordinary message.
    if (GetMessageW(&msg, nullptr, 0, 0) == 0) {
        exit_code = static_cast<int>(msg.wParam);
        return false;
    }
    if (accelerators_ && TranslateAcceleratorW(window_of(main_window), accelerators_, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void window_system::sleep_ms(uint32_t ms) { Sleep(ms); }

point window_system::cursor_position(window_handle main_window) {
    POINT p{};
    GetCursorPos(&p);
    ScreenToClient(window_of(main_window), &p);
    return {p.x, p.y};
}

bool window_system::is_foreground(window_handle main_window) {
    return GetForegroundWindow() == window_of(main_window);
}

int32_t window_system::display_mode_dialog(window_handle main_window) {
    return static_cast<int32_t>(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DISPLAY_MODE),
                                                window_of(main_window), display_mode_dialog_procedure, 0));
}

void window_system::post_close(window_handle main_window) { PostMessageW(window_of(main_window), WM_CLOSE, 0, 0); }

void window_system::play_sound_alias(const char16_t* alias, uint32_t flags) {
    PlaySoundW(reinterpret_cast<const wchar_t*>(alias), nullptr, flags);
}

void window_system::show_message(window_handle main_window, uint32_t string_id, uint32_t flags) {
    show_error_message(window_of(main_window), string_id, flags);
}

int show_error_message(HWND owner, UINT id, UINT flags, uint32_t code) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    wchar_t title[64] = L"";
    LoadStringW(instance, IDS_TITLE, title, 64);
    wchar_t text[512];
    const int length = LoadStringW(instance, id, text, 512);
    std::u16string loaded(reinterpret_cast<const char16_t*>(text), length > 0 ? length : 0);
    const std::u16string shown = fill_error_code(loaded, code);
    return MessageBoxW(owner, reinterpret_cast<const wchar_t*>(shown.c_str()), title, flags);
}

bool set_up_data_directory(HWND owner, std::wstring& folder, uint32_t& error) {
    wchar_t path[MAX_PATH];
    const HRESULT found = SHGetFolderPathAndSubDirW(owner, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                                    SHGFP_TYPE_CURRENT, L"Quillon", path);
    if (found != S_OK) {
        error = static_cast<uint32_t>(FAILED(found) ? found : E_FAIL);
        return false;
    }
    if (!SetCurrentDirectoryW(path)) {
        const DWORD code = GetLastError();
        error = code ? static_cast<uint32_t>(hresult_from_error(code)) : static_cast<uint32_t>(E_FAIL);
        return false;
    }
    // The lobby itself is loaded from the store by its full path; this
    // directory is for the libraries a lobby loads by name as it runs.
    SetDllDirectoryW(path);
    folder = path;
    error = 0;
    return true;
}

std::wstring current_directory() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return {};
    std::wstring folder(needed, L'\0');
    const DWORD written = GetCurrentDirectoryW(needed, folder.data());
    if (written == 0 || written >= needed) return {};
    folder.resize(written);
    return folder;
}

}  // namespace tamber::win32
