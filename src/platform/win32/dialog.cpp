#include "platform/win32/dialog.h"

#include "resources/resource_ids.h"

namespace tamber::win32 {

INT_PTR CALLBACK display_mode_dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;  // the system puts the focus on the first tab stop, "&Fullscreen"
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id == IDC_FULLSCREEN || id == IDC_QUIT || id == IDC_RETRY) EndDialog(dialog, id);
        // IDCANCEL (Escape) lands here too and keeps the dialog open: there is
        // no way out but the three buttons.
        return TRUE;
    }
    default:
        return FALSE;
    }
}

}  // namespace tamber::win32
