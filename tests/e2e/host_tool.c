/* host_tool: what the end-to-end tests need from inside Wine.
 *   host_tool post MESSAGE [WPARAM [LPARAM]]   post a message to the host's
 *       main window, the way a game library or another module would
 *   host_tool client                            print the client area's screen
 *       origin and size: "X Y WIDTH HEIGHT"
 *   host_tool wait SECONDS                      wait for the main window
 * Numbers may be decimal or 0x-hexadecimal. Exit code 0 on success, 1 when
 * the window was not found, 2 on bad arguments. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HWND host_window(void) { return FindWindowW(L"__tamber_main_class", NULL); }

int main(int argc, char **argv) {
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
        while (!host_window()) {
            if ((LONG)(GetTickCount() - deadline) > 0) return 1;
            Sleep(50);
        }
        return 0;
    }
    fprintf(stderr, "usage: host_tool post MESSAGE [WPARAM [LPARAM]] | client | wait SECONDS\n");
    return 2;
}
