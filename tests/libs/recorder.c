/*
 * recorder: a game library that exports all 26 entry points and writes every
 * call, with its arguments, to the log (record.h). Tests and end-to-end runs
 * load it in place of the lobby library.
 *
 * Lines (after "<file name>: "), numbers in decimal:
 *   load self|other 0x<window> <reserved>   (self: the module handle is ours)
 *   unload | receive_packet a b | update elapsed
 *   render elapsed <width>x<height> x y | render2 <width>x<height>
 *   get_cursor x y | mouse_down button x y double_click | mouse_drag button x y
 *   mouse_click button x y double_click | mouse_wheel x y delta
 *   mouse_move x y | mouse_up button x y | key_down vk | key_repeat vk
 *   key_up vk | get_balance | set_message m | io_state v | on_wm_lobby
 *   on_wm_async_select e | send_packet a b | on_wm_char c
 *   set_server_path <url> | on_wm_close | set_application_type t
 *   drag.QueryInterface | drag.AddRef <new count> | drag.Release <new count>
 *   drag.begin x y | drag.move x y | drag.get_cursor x y | drag.drop x y
 *   drag.cancel
 *
 * Answers, read from the environment at every call (0 when unset):
 *   TAMBER_RECORDER_LOAD         applet_load's result (e.g. 0x80004005)
 *   TAMBER_RECORDER_MOUSE_DOWN   the press decision
 *   TAMBER_RECORDER_PRESS_BANDS  non-zero: the press decision comes from
 *                                the press's x instead: 0 left of 200,
 *                                1 from 200 to 399, 2 from 400 on, so one
 *                                run can try all three
 *   TAMBER_RECORDER_DRAG         non-zero: mouse_drag returns the drag object
 *   TAMBER_RECORDER_CURSOR       get_cursor's answer (see cursor_from_setting)
 *   TAMBER_RECORDER_DRAG_CURSOR  the drag object's get_cursor answer
 *   TAMBER_RECORDER_BALANCE      get_balance's result
 *   TAMBER_RECORDER_COLOUR       the colour render paints the whole frame
 *                                with (default 0xFF3C8C28: blue 0x3C,
 *                                green 0x8C, red 0x28)
 *   TAMBER_RECORDER_QUIET_FRAMES non-zero: update and render are not logged
 *   TAMBER_RECORDER_SEND_PACKET  non-zero: set_application_type (the last
 *                                call of the handover) calls the host's
 *                                export applet_send_packet(0x11, 0x22), which
 *                                comes back as "send_packet 17 34"; the lines
 *                                "host export found" (or "missing") and
 *                                "host export returned" follow
 *   TAMBER_RECORDER_POST_KEYS    non-zero: the character 'f' posts message
 *                                0x8003 (switch the display mode) and 'q'
 *                                posts WM_CLOSE to the window load was
 *                                given, as a lobby's buttons would; the line
 *                                "posted <message>" follows the character's
 * io_state answers the complement of its argument; render2 paints the frame
 * blue 0x11, green 0x22, red 0x33.
 *
 * The drag object is one static object whose reference count starts at 1,
 * the library's own reference; AddRef and Release log the new count.
 */
#include <stddef.h>
#include <string.h>

#include "record.h"

/* ---- the drag object ----------------------------------------------------- */

typedef struct recorder_drag {
    drag_operation base;
    uint32_t references;
} recorder_drag;

static recorder_drag the_drag;

/* Every call names the object it was handed; a stranger is logged. */
static void check_self(drag_operation *self, const char *operation) {
    if (self != &the_drag.base) record("drag.%s called on a foreign object", operation);
}

static int32_t TAMBER_CALL drag_query_interface(drag_operation *self, const void *iid, void **out) {
    (void)iid;
    check_self(self, "QueryInterface");
    record("drag.QueryInterface");
    if (out) *out = NULL;
    return (int32_t)0x80004002u; /* E_NOINTERFACE */
}

static uint32_t TAMBER_CALL drag_add_ref(drag_operation *self) {
    check_self(self, "AddRef");
    const uint32_t count = ++the_drag.references;
    record("drag.AddRef %u", count);
    return count;
}

static uint32_t TAMBER_CALL drag_release(drag_operation *self) {
    check_self(self, "Release");
    /* A release past zero is the caller's fault; the count stays at zero so
     * the log shows it instead of wrapping around. */
    if (the_drag.references > 0) --the_drag.references;
    const uint32_t count = the_drag.references;
    record("drag.Release %u", count);
    return count;
}

static void TAMBER_CALL drag_begin(drag_operation *self, int32_t x, int32_t y) {
    check_self(self, "begin");
    record("drag.begin %d %d", x, y);
}

static void TAMBER_CALL drag_move(drag_operation *self, int32_t x, int32_t y) {
    check_self(self, "move");
    record("drag.move %d %d", x, y);
}

static tamber_handle TAMBER_CALL drag_get_cursor(drag_operation *self, int32_t x, int32_t y) {
    check_self(self, "get_cursor");
    record("drag.get_cursor %d %d", x, y);
    return cursor_from_setting(setting("TAMBER_RECORDER_DRAG_CURSOR", 0));
}

static void TAMBER_CALL drag_drop(drag_operation *self, int32_t x, int32_t y) {
    check_self(self, "drop");
    record("drag.drop %d %d", x, y);
}

static void TAMBER_CALL drag_cancel(drag_operation *self) {
    check_self(self, "cancel");
    record("drag.cancel");
}

static const drag_operation_vtbl drag_vtbl = {
    drag_query_interface, drag_add_ref, drag_release, drag_begin,
    drag_move,            drag_get_cursor, drag_drop, drag_cancel,
};

static recorder_drag the_drag = {{&drag_vtbl}, 1};

/* ---- drawing ------------------------------------------------------------- */

static void paint(frame_view *frame, uint8_t blue, uint8_t green, uint8_t red) {
    if (!frame || frame->width <= 0 || frame->height <= 0) return;
    const uint8_t value[3] = {blue, green, red};
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < frame->height; ++y)
            memset(frame->plane[p] + (size_t)y * (size_t)frame->pitch, value[p], (size_t)frame->width);
}

static int frames_logged(void) { return setting("TAMBER_RECORDER_QUIET_FRAMES", 0) == 0; }

/* ---- the entry points ---------------------------------------------------- */

static tamber_handle host_window;

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    host_window = window;
    record("load %s 0x%lx %u", is_own_module(module) ? "self" : "other", handle_bits(window), reserved);
    return (tamber_result)setting("TAMBER_RECORDER_LOAD", 0);
}

void TAMBER_CALL applet_unload(void) { record("unload"); }

void TAMBER_CALL applet_receive_packet(uint32_t a, uint32_t b) { record("receive_packet %u %u", a, b); }

void TAMBER_CALL applet_update(uint32_t elapsed) {
    if (frames_logged()) record("update %u", elapsed);
}

void TAMBER_CALL applet_render(uint32_t elapsed, frame_view *frame, int32_t x, int32_t y) {
    if (frames_logged())
        record("render %u %dx%d %d %d", elapsed, frame ? frame->width : 0, frame ? frame->height : 0, x, y);
    const uint32_t colour = setting("TAMBER_RECORDER_COLOUR", 0xFF3C8C28u);
    paint(frame, (uint8_t)(colour >> 16), (uint8_t)(colour >> 8), (uint8_t)colour);
}

void TAMBER_CALL applet_render2(frame_view *frame) {
    record("render2 %dx%d", frame ? frame->width : 0, frame ? frame->height : 0);
    paint(frame, 0x11, 0x22, 0x33);
}

tamber_handle TAMBER_CALL applet_get_cursor(int32_t x, int32_t y) {
    record("get_cursor %d %d", x, y);
    return cursor_from_setting(setting("TAMBER_RECORDER_CURSOR", 0));
}

int32_t TAMBER_CALL applet_mouse_down(int32_t button, int32_t x, int32_t y, int32_t double_click) {
    record("mouse_down %d %d %d %d", button, x, y, double_click);
    if (setting("TAMBER_RECORDER_PRESS_BANDS", 0)) return x < 200 ? 0 : x < 400 ? 1 : 2;
    return (int32_t)setting("TAMBER_RECORDER_MOUSE_DOWN", 0);
}

drag_operation *TAMBER_CALL applet_mouse_drag(int32_t button, int32_t x, int32_t y) {
    record("mouse_drag %d %d %d", button, x, y);
    return setting("TAMBER_RECORDER_DRAG", 0) ? &the_drag.base : NULL;
}

void TAMBER_CALL applet_mouse_click(int32_t button, int32_t x, int32_t y, int32_t double_click) {
    record("mouse_click %d %d %d %d", button, x, y, double_click);
}

void TAMBER_CALL applet_mouse_wheel(int32_t x, int32_t y, int32_t delta) { record("mouse_wheel %d %d %d", x, y, delta); }
void TAMBER_CALL applet_mouse_move(int32_t x, int32_t y) { record("mouse_move %d %d", x, y); }
void TAMBER_CALL applet_mouse_up(int32_t button, int32_t x, int32_t y) { record("mouse_up %d %d %d", button, x, y); }
void TAMBER_CALL applet_key_down(uint32_t vk) { record("key_down %u", vk); }
void TAMBER_CALL applet_key_repeat(uint32_t vk) { record("key_repeat %u", vk); }
void TAMBER_CALL applet_key_up(uint32_t vk) { record("key_up %u", vk); }

int32_t TAMBER_CALL applet_get_balance(void) {
    record("get_balance");
    return (int32_t)setting("TAMBER_RECORDER_BALANCE", 0);
}

void TAMBER_CALL applet_set_message(uint32_t message) { record("set_message %u", message); }

int32_t TAMBER_CALL applet_io_state(uint32_t value) {
    record("io_state %u", value);
    return (int32_t)~value;
}

void TAMBER_CALL applet_on_wm_lobby(void) { record("on_wm_lobby"); }
void TAMBER_CALL applet_on_wm_async_select(uint32_t error) { record("on_wm_async_select %u", error); }
void TAMBER_CALL applet_send_packet(uint32_t a, uint32_t b) { record("send_packet %u %u", a, b); }
void TAMBER_CALL applet_on_wm_char(uint32_t character) {
    record("on_wm_char %u", character);
    if (!setting("TAMBER_RECORDER_POST_KEYS", 0)) return;
    const uint32_t message = character == 'f' ? 0x8003u : character == 'q' ? 0x0010u : 0;
    if (message && post_to_window(host_window, message)) record("posted 0x%x", message);
}
void TAMBER_CALL applet_set_server_path(const char *url) { record("set_server_path %s", url ? url : "(null)"); }
void TAMBER_CALL applet_on_wm_close(void) { record("on_wm_close"); }
void TAMBER_CALL applet_set_application_type(int32_t type) {
    record("set_application_type %d", type);
    if (!setting("TAMBER_RECORDER_SEND_PACKET", 0)) return;
    const tamber_host_send_packet_fn send = find_host_send_packet();
    record(send ? "host export found" : "host export missing");
    if (!send) return;
    send(0x11, 0x22);
    record("host export returned");
}
