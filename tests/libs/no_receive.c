/*
 * no_receive: lacks the required applet_receive_packet, so the host must
 * refuse it before calling anything; its load logs a line if it ever runs.
 */
#include "record.h"

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    (void)module;
    record("load 0x%lx %u", handle_bits(window), reserved);
    return 0;
}

void TAMBER_CALL applet_unload(void) { record("unload"); }

int32_t TAMBER_CALL applet_get_balance(void) {
    record("get_balance");
    return 0;
}
