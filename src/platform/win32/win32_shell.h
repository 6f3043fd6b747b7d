// The Win32 side of the shell's message loop, frame step and display-mode
// switches.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "shell/shell.h"

namespace tamber::win32 {

// PeekMessageW / GetMessageW / accelerators / timeGetTime / the cursor /
// message boxes, for the shell. The shell hands every call about the main
// window the window itself.
class window_system final : public tamber::window_system {
public:
    // Accelerators: the table translated for the main window (none: null).
    explicit window_system(HACCEL accelerators) : accelerators_(accelerators) {}

    uint32_t time_ms() override;
    bool message_waiting() override;
    bool handle_message(window_handle main_window, int& exit_code) override;
    void sleep_ms(uint32_t ms) override;
    point cursor_position(window_handle main_window) override;
    bool is_foreground(window_handle main_window) override;
    int32_t display_mode_dialog(window_handle main_window) override;
    void post_close(window_handle main_window) override;
    void play_sound_alias(const char16_t* alias, uint32_t flags) override;
    void show_message(window_handle main_window, uint32_t string_id, uint32_t flags) override;

private:
    HACCEL accelerators_;
};

// Loads string `id` and shows it in a message box owned by `owner` (null
// when there is no window yet) under the title string. A text with an
// error-code placeholder gets `code` filled in.
int show_error_message(HWND owner, UINT id, UINT flags, uint32_t code = 0);

// Makes "Quillon" under the per-user local application-data folder the
// working directory and the library directory, and gives its full path in
// `folder`. False when any step fails, with the failure as an HRESULT in
// `error`; the process then keeps the directory it was started in.
bool set_up_data_directory(HWND owner, std::wstring& folder, uint32_t& error);

// The process's current directory as a full path; empty when it cannot be
// read.
std::wstring current_directory();

}  // namespace tamber::win32
