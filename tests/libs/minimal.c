/*
 * minimal: only the three required entry points. load answers 1 (a success
 * other than 0, which the host must hand back unchanged) and get_balance 42.
 */
#include "record.h"

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    record("load %s 0x%lx %u", is_own_module(module) ? "self" : "other", handle_bits(window), reserved);
    return 1;
}

int32_t TAMBER_CALL applet_get_balance(void) {
    record("get_balance");
    return 42;
}

void TAMBER_CALL applet_receive_packet(uint32_t a, uint32_t b) { record("receive_packet %u %u", a, b); }
