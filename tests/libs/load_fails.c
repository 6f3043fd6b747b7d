/*
 * load_fails: applet_load refuses with E_FAIL (0x80004005). The host must then
 * unmap the library without calling anything else, applet_unload included.
 */
#include "record.h"

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    record("load %s 0x%lx %u", is_own_module(module) ? "self" : "other", handle_bits(window), reserved);
    return (tamber_result)0x80004005u;
}

void TAMBER_CALL applet_unload(void) { record("unload"); }
void TAMBER_CALL applet_receive_packet(uint32_t a, uint32_t b) { record("receive_packet %u %u", a, b); }

int32_t TAMBER_CALL applet_get_balance(void) {
    record("get_balance");
    return 0;
}

void TAMBER_CALL applet_mouse_move(int32_t x, int32_t y) { record("mouse_move %d %d", x, y); }
