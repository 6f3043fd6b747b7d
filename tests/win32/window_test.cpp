// The main window's creation, where it can fail without saying why.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/window.h"

namespace {

LRESULT CALLBACK refusing_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) return FALSE;
    return DefWindowProcW(window, message, wparam, lparam);
}

// A window procedure that refuses WM_NCCREATE makes CreateWindowExW fail,
// and without a display Wine then sets no error at all. The test program
// has no icon, so the icon's lookup leaves ERROR_RESOURCE_DATA_NOT_FOUND
// behind; that left-over must not be reported as the window's failure, nor
// may "success".
TEST(main_window, a_failed_creation_reports_a_code_of_its_own) {
    HWND window = nullptr;
    DWORD error = 0;
    EXPECT_FALSE(tamber::win32::create_main_window(GetModuleHandleW(nullptr), refusing_procedure, L"refused", 800,
                                                   600, window, error));
    EXPECT_EQ(window, nullptr);
    EXPECT_NE(error, static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
