/*
 * calls_host: calls the host's export applet_send_packet(0x11, 0x22) from
 * inside its applet_load, as a lobby library may, and logs whether it found
 * the export ("host export found" / "host export missing") and that the
 * call came back ("host export returned").
 */
#include "record.h"

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    record("load %s 0x%lx %u", is_own_module(module) ? "self" : "other", handle_bits(window), reserved);
    const tamber_host_send_packet_fn send = find_host_send_packet();
    record(send ? "host export found" : "host export missing");
    if (send) {
        send(0x11, 0x22);
        record("host export returned");
    }
    return 0;
}

void TAMBER_CALL applet_unload(void) { record("unload"); }
void TAMBER_CALL applet_receive_packet(uint32_t a, uint32_t b) { record("receive_packet %u %u", a, b); }
void TAMBER_CALL applet_send_packet(uint32_t a, uint32_t b) { record("send_packet %u %u", a, b); }

int32_t TAMBER_CALL applet_get_balance(void) {
    record("get_balance");
    return 0;
}
