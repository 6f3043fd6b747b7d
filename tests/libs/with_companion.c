/*
 * with_companion: the three required entry points, linked against the
 * companion library, which the host's loader must find beside it in the
 * store. load records "companion <value>": 4242 from the store's companion,
 * 666 from the planted one.
 */
#include "record.h"

int companion_value(void);

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    (void)module;
    (void)window;
    (void)reserved;
    record("companion %d", companion_value());
    return 0;
}

int32_t TAMBER_CALL applet_get_balance(void) { return 0; }

void TAMBER_CALL applet_receive_packet(uint32_t a, uint32_t b) { record("receive_packet %u %u", a, b); }
