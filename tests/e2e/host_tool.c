/* host_tool: what the end-to-end tests need from inside Wine.
 *   host_tool post MESSAGE [WPARAM [LPARAM]]   post a message to the host's
 *       main window, the way a game library or another module would
 *   host_tool client                            print the client area's screen
 *       origin and size: "X Y WIDTH HEIGHT"
 *   host_tool wait SECONDS                      wait for the main window
 *   host_tool window                            print the window rectangle and
 *       styles: "LEFT TOP RIGHT BOTTOM STYLE EXSTYLE" (styles in hex)
 *   host_tool workarea                          print the work area and the
 *       screen size: "LEFT TOP RIGHT BOTTOM WIDTH HEIGHT"
 *   host_tool toplevels                         print the title of every
 *       visible top-level window of the host's process, one a line
 * With TAMBER_DESKTOP set, the tool looks on that desktop (a Wine virtual
 * desktop, say) instead of its own.
 * Numbers may be decimal or 0x-hexadecimal. Exit code 0 on success, 1 when
 * the window was not found, 2 on bad arguments. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HWND host_window(void) { return FindWindowW(L"__tamber_main_class", NULL); }

/* Moves to the desktop TAMBER_DESKTOP names, if any; false while that
 * desktop does not exist yet. */
static BOOL use_desktop(void) {
    static BOOL done = FALSE;
    const char *name = getenv("TAMBER_DESKTOP");
    HDESK desk;
    if (done || !name || !*name) return TRUE;
    desk = OpenDesktopA(name, 0, FALSE, GENERIC_ALL);
    if (!desk || !SetThreadDesktop(desk)) return FALSE;
    done = TRUE;
    return TRUE;
}

static BOOL CALLBACK print_toplevel(HWND window, LPARAM host_process) {
    DWORD process = 0;
    char title[256];
    GetWindowThreadProcessId(window, &process);
    if (process != (DWORD)host_process || !IsWindowVisible(window)) return TRUE;
    GetWindowTextA(window, title, sizeof title);
    printf("%s\n", title);
    return TRUE;
}

int main(int argc, char **argv) {
    use_desktop();
    if (argc >= 3 && argc <= 5 && strcmp(argv[1], "post") == 0) {
        UINT message = (UINT)strtoul(argv[2], NULL, 0);
        WPARAM wparam = argc > 3 ? (WPARAM)strtoul(argv[3], NULL, 0) : 0;
        LPARAM lparam = argc > 4 ? (LPARAM)strtoul(argv[4], NULL, 0) : 0;
        HWND window = host_window();
        if (!window) return 1;
        return PostMessageW(window, message, wparam, lparam) ? 0 : 1;
    }
    if (argc == 2 && strcmp(argv[1], "client") == 0) {
        HWND window = host_window();
        RECT client;
        POINT origin = {0, 0};
        if (!window || !GetClientRect(window, &client) || !ClientToScreen(window, &origin)) return 1;
        printf("%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "wait") == 0) {
        DWORD deadline = GetTickCount() + (DWORD)(atof(argv[2]) * 1000);
        while (!use_desktop() || !host_window()) {
            if ((LONG)(GetTickCount() - deadline) > 0) return 1;
            Sleep(50);
        }
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "window") == 0) {
        HWND window = host_window();
        RECT r;
        if (!window || !GetWindowRect(window, &r)) return 1;
        printf("%ld %ld %ld %ld %lx %lx\n", r.left, r.top, r.right, r.bottom,
               (unsigned long)GetWindowLongW(window, GWL_STYLE), (unsigned long)GetWindowLongW(window, GWL_EXSTYLE));
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "workarea") == 0) {
        RECT work;
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return 1;
        printf("%ld %ld %ld %ld %d %d\n", work.left, work.top, work.right, work.bottom, GetSystemMetrics(SM_CXSCREEN),
               GetSystemMetrics(SM_CYSCREEN));
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "toplevels") == 0) {
        HWND window = host_window();
        DWORD process = 0;
        if (!window) return 1;
        GetWindowThreadProcessId(window, &process);
        EnumWindows(print_toplevel, (LPARAM)process);
        return 0;
    }
    fprintf(stderr, "usage: host_tool post MESSAGE [WPARAM [LPARAM]] | client | wait SECONDS | window | workarea"
                    " | toplevels\n");
    return 2;
}
