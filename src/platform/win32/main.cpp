#include <windows.h>
#include <cstdint>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }

extern "C" void __stdcall applet_send_packet(uint32_t, uint32_t) {}
