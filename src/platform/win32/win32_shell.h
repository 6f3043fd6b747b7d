// The Win32 side of the shell's message loop and frame step.
#pragma once

#include <windows.h>

#include "shell/shell.h"

namespace tamber::win32 {

// PeekMessageW / GetMessageW / accelerators / timeGetTime / the cursor, for
// the shell's loop. Reads the main window and the accelerator table through
// references because both are set after construction.
class window_system final : public tamber::window_system {
public:
    window_system(HWND& main_window, HACCEL& accelerators) : main_window_(main_window), accelerators_(accelerators) {}

    uint32_t time_ms() override;
    bool message_waiting() override;
    bool handle_message(int& exit_code) override;
    void sleep_ms(uint32_t ms) override;
    point cursor_position() override;
    bool is_foreground() override;
    int32_t display_mode_dialog() override;
    void post_close() override;

private:
    HWND& main_window_;
    HACCEL& accelerators_;
};

// Makes "Quillon" under the per-user local application-data folder the
// working directory and the library directory. False when any step fails;
// the process then keeps the directory it was started in.
bool set_up_data_directory(HWND owner);

}  // namespace tamber::win32
