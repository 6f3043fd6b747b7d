// Resource identifiers shared by the resource script and the shell.
#pragma once

#define IDS_TITLE 1
#define IDS_FILE_NOT_FOUND 2
#define IDS_WINDOW_FAILED 3
#define IDS_DIRECTDRAW_FAILED 4
#define IDS_FULLSCREEN_FAILED 5
#define IDS_WINDOWED_FAILED 6
#define IDS_WINDOWED_SWITCH_FAILED 7
#define IDS_FULLSCREEN_BACK_FAILED 8
#define IDS_LIBRARY_FAILED 9
#define IDS_STORE_FAILED 10

#define IDR_ACCELERATORS 102
#define IDI_MAIN 102
#define IDD_DISPLAY_MODE 103

#define IDC_FULLSCREEN 1000
#define IDC_QUIT 1001
#define IDC_RETRY 3

#define ID_TOGGLE_DISPLAY_MODE 40110
