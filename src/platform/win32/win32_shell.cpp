#include "platform/win32/win32_shell.h"

#include <mmsystem.h>
#include <shlobj.h>

#include "platform/win32/dialog.h"
#include "resources/resource_ids.h"

namespace tamber::win32 {

uint32_t window_system::time_ms() { return timeGetTime(); }

bool window_system::message_waiting() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

bool window_system::handle_message(int& exit_code) {
    MSG msg;
    // -1 (an error) is handled like an ordinary message.
    if (GetMessageW(&msg, nullptr, 0, 0) == 0) {
        exit_code = static_cast<int>(msg.wParam);
        return false;
    }
    if (accelerators_ && TranslateAcceleratorW(main_window_, accelerators_, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void window_system::sleep_ms(uint32_t ms) { Sleep(ms); }

point window_system::cursor_position() {
    POINT p{};
    GetCursorPos(&p);
    ScreenToClient(main_window_, &p);
    return {p.x, p.y};
}

bool window_system::is_foreground() { return GetForegroundWindow() == main_window_; }

int32_t window_system::display_mode_dialog() {
    return static_cast<int32_t>(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DISPLAY_MODE),
                                                main_window_, display_mode_dialog_procedure, 0));
}

void window_system::post_close() { PostMessageW(main_window_, WM_CLOSE, 0, 0); }

bool set_up_data_directory(HWND owner) {
    wchar_t path[MAX_PATH];
    if (SHGetFolderPathAndSubDirW(owner, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                  L"Quillon", path) != S_OK)
        return false;
    if (!SetCurrentDirectoryW(path)) return false;
    SetDllDirectoryW(path);
    return true;
}

}  // namespace tamber::win32
