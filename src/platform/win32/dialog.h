// The display-mode dialog (resource 103), shown while the host runs in a
// window on a desktop whose colour depth it cannot draw to.
#pragma once

#include <windows.h>

namespace tamber::win32 {

// Ends the dialog with the id of "&Fullscreen" (1000), "&Quit" (1001) or
// "&Retry" (3); every other command, Escape's IDCANCEL among them, leaves
// it open.
INT_PTR CALLBACK display_mode_dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace tamber::win32
