/*
 * tamber_applet.h - the interface between the Tamber host and a game library.
 *
 * A game library ("applet") is a DLL that exports a fixed set of C entry
 * points. The host (quillon.exe) maps the library, looks the entry points up
 * by name, and from then on calls them once per frame and for every mouse,
 * keyboard and window event. This header is everything a library author
 * needs: plain C, usable from C and C++, no host headers required.
 *
 * Version
 *   TAMBER_APPLET_VERSION names the revision of this interface. Every
 *   revision keeps the entry-point names, their arguments, the frame_view
 *   and drag_operation layouts and the message numbers binary-compatible.
 *
 * Calling convention and names
 *   Every entry point is extern "C" with the standard Windows calling
 *   convention (__stdcall: arguments pushed right to left, the callee pops
 *   them). Every argument and result is one 32-bit word on 32-bit Windows.
 *   On 32-bit x86 Windows the exported names are the decorated names, for
 *   example "_applet_load@12" (the number is the argument bytes). With MSVC,
 *   __declspec(dllexport) on a __stdcall function exports exactly that name.
 *   MinGW strips the leading underscore, so MinGW libraries export through
 *   a .def file; sdk/tamber_applet.cmake writes one for you
 *   (tamber_applet_library), or write the lines by hand:
 *       EXPORTS
 *           _applet_load@12 = applet_load@12
 *           _applet_get_balance@0 = applet_get_balance@0
 *           ...
 *   Check the result with "i686-w64-mingw32-objdump -p yourlib.dll".
 *   Where there is no stdcall decoration (ELF, 64-bit Windows) the exported
 *   name is the plain C name ("applet_load").
 *
 * Calling order (all calls come from the host's single thread)
 *   1. applet_load(module, window, 0) once, right after the library is
 *      mapped. A negative result rejects the library: it is unmapped and
 *      receives no further call, not even applet_unload.
 *   2. applet_set_server_path(base_url), then applet_set_application_type(2).
 *      The base URL is the update server's, fixed when the host was built;
 *      a host built without a server passes the empty string "".
 *   3. Per frame: applet_update(elapsed), then applet_render(elapsed, frame,
 *      x, y) when the display can draw. render must draw the whole frame:
 *      the host does not clear it between frames. The frame_view is the
 *      library's own copy for this call: what the library writes into the
 *      view itself (not the planes) is ignored, and the next frame hands it
 *      a fresh one.
 *      Between frames: mouse, key, character and window calls as the window
 *      receives the matching messages.
 *      Nested modal loops: while the host shows a message box or a dialog
 *      (the display-mode question, for one), the system runs a message loop
 *      of its own. Input and window calls (mouse, keys, characters,
 *      applet_on_wm_*) keep arriving during it, but no frame runs: no
 *      update or render until it ends. Such a loop can start between a
 *      frame's update and its render.
 *   4. applet_unload() immediately before the library is unmapped.
 *
 * Required exports: applet_load, applet_get_balance, applet_receive_packet.
 * A library missing one of them is refused (load fails with 0x8007000B).
 * Every other export is optional; when it is missing the host does this:
 *   applet_render      sets every byte of the three planes to 0 (black)
 *   applet_render2     sets planes 0, 1, 2 to 0x80, 0x80, 0x90
 *   applet_get_cursor, applet_mouse_down, applet_mouse_drag,
 *   applet_io_state    answered with 0 (arrow cursor, click at once,
 *                      no drag, 0)
 *   everything else    nothing happens
 * The host never calls receive_packet, render2, get_balance, set_message or
 * io_state itself; send_packet is reached only through the host export
 * applet_send_packet (below). Their meaning is the library's own.
 */
#ifndef TAMBER_APPLET_H
#define TAMBER_APPLET_H

#include <stddef.h> /* offsetof */
#include <stdint.h>

#define TAMBER_APPLET_VERSION_MAJOR 1
#define TAMBER_APPLET_VERSION_MINOR 0
#define TAMBER_APPLET_VERSION ((TAMBER_APPLET_VERSION_MAJOR << 16) | TAMBER_APPLET_VERSION_MINOR)

#ifdef __cplusplus
extern "C" {
#endif

/* ---- calling convention and export ----------------------------------- */

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#  define TAMBER_CALL __stdcall
#else
#  define TAMBER_CALL
#endif

#if defined(_WIN32) && defined(__GNUC__) && defined(__i386__)
   /* MinGW would export "applet_load@12" as well: the .def file exports the
    * decorated names alone. */
#  define TAMBER_EXPORT
#elif defined(_WIN32)
#  define TAMBER_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#  define TAMBER_EXPORT __attribute__((visibility("default")))
#else
#  define TAMBER_EXPORT
#endif

/* ---- basic types -------------------------------------------------------- */

/* Result of applet_load, in the Windows HRESULT manner: negative = failure.
 * The host turns a system error code e (a 32-bit value) into a result
 * this way:
 *   e > 0 as a signed value:   0x80070000 | (e & 0xFFFF)
 *                              (ERROR_MOD_NOT_FOUND 126 -> 0x8007007E)
 *   e <= 0 as a signed value:  e unchanged: 0 stays 0 (success), and a
 *                              value with the top bit set is taken as a
 *                              result already and passed on as it is.
 * A library that cannot be mapped and for which the system reports no code
 * at all is reported as 0x8007007E, never as success. */
typedef int32_t tamber_result;

/* An opaque handle the host passes through (module, window, cursor).
 * On Windows these are HMODULE, HWND and HCURSOR. The native host has no
 * cursor handles of its own: there a cursor is named by the value of a
 * Windows system cursor id (32512 arrow, 32513 I-beam, 32649 hand, ...,
 * as MAKEINTRESOURCE gives it) and any other handle shows the arrow. */
typedef void *tamber_handle;

/* colour: one 32-bit word, opacity in bits 24-31 (0 transparent, 255
 * opaque), blue 16-23, green 8-15, red 0-7. The components are taken as
 * already multiplied by the opacity. 0xFF000025 is opaque red 0x25. */
typedef uint32_t tamber_colour;
#define TAMBER_COLOUR(a, b, g, r) \
    ((tamber_colour)(((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(g) << 8) | (uint32_t)(r)))

/* ---- the frame ---------------------------------------------------------- */

/* frame_view: the picture a library draws into, handed to applet_render.
 * Planar: every pixel is one byte in each of three planes, at index
 * y * pitch + x; plane 0 is blue, plane 1 green, plane 2 red; row 0 is the
 * top row. The host's frame is 800 x 600 and the pitch equals the width.
 * The view and the planes are valid only during the call. Words 3-5, 9
 * and 10 are always 0. On 32-bit builds this is exactly eleven words. */
typedef struct frame_view {
    int32_t width;          /* word 0: pixels per row */
    int32_t height;         /* word 1: rows */
    int32_t pitch;          /* word 2: bytes from one row to the next */
    int32_t reserved3;      /* words 3-5: 0 */
    int32_t reserved4;
    int32_t reserved5;
    uint8_t *plane[3];      /* words 6-8: blue, green, red */
    int32_t reserved9;      /* words 9-10: 0 */
    int32_t reserved10;
} frame_view;

#if defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define TAMBER_STATIC_ASSERT(c, m) _Static_assert(c, m)
#elif defined(__cplusplus) && __cplusplus >= 201103L
#  define TAMBER_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#  define TAMBER_STATIC_ASSERT(c, m)
#endif
TAMBER_STATIC_ASSERT(sizeof(void *) != 4 || sizeof(frame_view) == 44,
                     "frame_view is eleven 32-bit words on 32-bit builds");
/* Every word where the host puts it: six 32-bit words, the three plane
 * pointers, two 32-bit words. With 4-byte pointers these are words 0-10;
 * with 8-byte pointers the planes start at byte 24 and every later offset
 * grows with the pointer size. */
TAMBER_STATIC_ASSERT(offsetof(frame_view, width) == 0 && offsetof(frame_view, height) == 4 &&
                         offsetof(frame_view, pitch) == 8 && offsetof(frame_view, reserved3) == 12 &&
                         offsetof(frame_view, reserved4) == 16 && offsetof(frame_view, reserved5) == 20,
                     "frame_view words 0-5 are the 32-bit integers at bytes 0-20");
TAMBER_STATIC_ASSERT(offsetof(frame_view, plane) == 24 && sizeof(((frame_view *)0)->plane) == 3 * sizeof(void *),
                     "frame_view's three plane pointers follow word 5, with no gap");
TAMBER_STATIC_ASSERT(offsetof(frame_view, reserved9) == 24 + 3 * sizeof(void *) &&
                         offsetof(frame_view, reserved10) == 28 + 3 * sizeof(void *) &&
                         sizeof(frame_view) == 32 + 3 * sizeof(void *),
                     "frame_view ends with two 32-bit words right after the planes");

/* ---- mouse -------------------------------------------------------------- */

/* button: 0 left, 1 right, 2 middle. Coordinates are signed client-area
 * pixels of the host window, unscaled; they may lie outside the frame.
 * double_click is 1 for the second press of a system double-click. */
enum {
    TAMBER_BUTTON_LEFT = 0,
    TAMBER_BUTTON_RIGHT = 1,
    TAMBER_BUTTON_MIDDLE = 2
};

/* Press decisions: what applet_mouse_down asks the host to do next. */
enum {
    TAMBER_PRESS_CLICK = 0, /* applet_mouse_click at once, same arguments */
    TAMBER_PRESS_DRAG = 1,  /* applet_mouse_drag at once */
    TAMBER_PRESS_HOLD = 2   /* wait: a release delivers applet_mouse_click at
                               the press point (double_click 0); a move beyond
                               the system drag distance delivers
                               applet_mouse_drag at the press point. A double
                               click is clicked at once. Any other value ends
                               the press: no click, no drag. */
};

/* applet_mouse_up: the host calls it for every button release that does not
 * end a held press or a drag. That is, after
 *   - TAMBER_PRESS_CLICK (the click came at the press, the release follows),
 *   - TAMBER_PRESS_HOLD answered for a double click (clicked at once),
 *   - a decision of 3 or more,
 *   - a drag the library declined (applet_mouse_drag returned null, at once
 *     or after a held press moved),
 *   - a release with no press seen (the press went to another window).
 * Only a held press (TAMBER_PRESS_HOLD, released before it moved beyond
 * the drag distance) gets no applet_mouse_up: its release is the
 * applet_mouse_click at the press point. During a drag no button release
 * reaches the library as applet_mouse_up: the drag button ends the drag,
 * other buttons are dropped. */

/* drag_operation: returned by applet_mouse_drag to take over the mouse until
 * the button is released. COM layout: the first word points to a table of
 * eight __stdcall functions, each taking the object first. The host takes
 * one reference (AddRef) while the drag lasts and releases it when the drag
 * ends; the library keeps its own reference. While a drag is active the
 * library receives no mouse_down, mouse_click, mouse_wheel, mouse_up,
 * key_down or key_repeat, and mouse_move only once, at the drop; key_up and
 * on_wm_char still arrive.
 *
 * The sequence, for a drag taken at (x0, y0):
 *   applet_mouse_drag(button, x0, y0) returns d
 *   d->AddRef                 the host's drag reference; mouse captured
 *   d->begin(x0, y0)
 *   d->get_cursor(x0, y0)
 *   d->move(x, y), then d->get_cursor(x, y), for every pointer move
 *   (while the drag lasts the host asks d, not applet_get_cursor)
 *   release of the drag button at (x, y), in this order:
 *     d->AddRef               a reference the host holds through the drop
 *     d->move(x, y)           the release point
 *     d->Release              the drag reference; capture released
 *     applet_mouse_move(x, y) the library's own entry point
 *     d->drop(x, y)
 *     d->Release              the reference taken for the drop
 *     applet_get_cursor(x, y)
 *   Escape, or the system cancelling the mode instead:
 *     d->cancel, d->Release, then applet_mouse_move and applet_get_cursor
 *     at the pointer's position.
 * So the library may drop its own reference inside drop: the object lives
 * until drop returns. */
typedef struct drag_operation drag_operation;
typedef struct drag_operation_vtbl {
    /* 0 */ int32_t (TAMBER_CALL *QueryInterface)(drag_operation *self, const void *iid, void **out); /* never called */
    /* 1 */ uint32_t (TAMBER_CALL *AddRef)(drag_operation *self);
    /* 2 */ uint32_t (TAMBER_CALL *Release)(drag_operation *self);
    /* 3 */ void (TAMBER_CALL *begin)(drag_operation *self, int32_t x, int32_t y);  /* once, at the drag's start point */
    /* 4 */ void (TAMBER_CALL *move)(drag_operation *self, int32_t x, int32_t y);   /* every move, and once at the release point */
    /* 5 */ tamber_handle (TAMBER_CALL *get_cursor)(drag_operation *self, int32_t x, int32_t y); /* null: arrow */
    /* 6 */ void (TAMBER_CALL *drop)(drag_operation *self, int32_t x, int32_t y);   /* the drag button was released */
    /* 7 */ void (TAMBER_CALL *cancel)(drag_operation *self);                       /* Escape or WM_CANCELMODE */
} drag_operation_vtbl;
struct drag_operation {
    const drag_operation_vtbl *vtbl;
};
/* The slot order is the binary interface: slot n is the n-th pointer of the
 * table, and the table pointer is the object's first word. */
TAMBER_STATIC_ASSERT(offsetof(drag_operation_vtbl, QueryInterface) == 0 * sizeof(void *) &&
                         offsetof(drag_operation_vtbl, AddRef) == 1 * sizeof(void *) &&
                         offsetof(drag_operation_vtbl, Release) == 2 * sizeof(void *) &&
                         offsetof(drag_operation_vtbl, begin) == 3 * sizeof(void *),
                     "drag_operation slots 0-3: QueryInterface, AddRef, Release, begin");
TAMBER_STATIC_ASSERT(offsetof(drag_operation_vtbl, move) == 4 * sizeof(void *) &&
                         offsetof(drag_operation_vtbl, get_cursor) == 5 * sizeof(void *) &&
                         offsetof(drag_operation_vtbl, drop) == 6 * sizeof(void *) &&
                         offsetof(drag_operation_vtbl, cancel) == 7 * sizeof(void *) &&
                         sizeof(drag_operation_vtbl) == 8 * sizeof(void *),
                     "drag_operation slots 4-7: move, get_cursor, drop, cancel; eight in all");
TAMBER_STATIC_ASSERT(offsetof(drag_operation, vtbl) == 0, "a drag_operation starts with its table pointer");

/* ---- window messages ---------------------------------------------------- */

/* The library receives the host window in applet_load and may post these. */
#define TAMBER_WM_LOBBY         0x8002 /* WM_APP + 2: host calls applet_on_wm_lobby() */
#define TAMBER_WM_TOGGLE_MODE   0x8003 /* WM_APP + 3: host switches windowed <-> fullscreen */
#define TAMBER_WM_ASYNC_SELECT  0x8101 /* WM_APP + 0x101: host calls applet_on_wm_async_select(HIWORD(lParam)) */
/* WM_CLOSE posted to the window closes the host: applet_on_wm_close, then
 * applet_unload. */

/* ---- the entry points --------------------------------------------------- */

/* The name table. X(operation, argument bytes, required) for all 26 entry
 * points, in the order the host binds them. It is the one list of them:
 * the host binds by it, sdk/tamber_applet.cmake reads it to write export
 * lists and to refuse a library without a required entry point, and the
 * declarations below follow from it. The exported names:
 *   32-bit Windows: "_applet_" #operation "@" #bytes
 *   elsewhere:      "applet_" #operation */
#define TAMBER_APPLET_ENTRY_POINTS(X) \
    X(load, 12, 1)                    \
    X(unload, 0, 0)                   \
    X(receive_packet, 8, 1)           \
    X(update, 4, 0)                   \
    X(render, 16, 0)                  \
    X(render2, 4, 0)                  \
    X(get_cursor, 8, 0)               \
    X(mouse_down, 16, 0)              \
    X(mouse_drag, 12, 0)              \
    X(mouse_click, 16, 0)             \
    X(mouse_wheel, 12, 0)             \
    X(mouse_move, 8, 0)               \
    X(mouse_up, 12, 0)                \
    X(key_down, 4, 0)                 \
    X(key_repeat, 4, 0)               \
    X(key_up, 4, 0)                   \
    X(get_balance, 0, 1)              \
    X(set_message, 4, 0)              \
    X(io_state, 4, 0)                 \
    X(on_wm_lobby, 0, 0)              \
    X(on_wm_async_select, 4, 0)       \
    X(send_packet, 8, 0)              \
    X(on_wm_char, 4, 0)               \
    X(set_server_path, 4, 0)          \
    X(on_wm_close, 0, 0)              \
    X(set_application_type, 4, 0)

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#  define TAMBER_ENTRY_NAME(operation, bytes) "_applet_" #operation "@" #bytes
#else
#  define TAMBER_ENTRY_NAME(operation, bytes) "applet_" #operation
#endif

/* Function types of the entry points, one per export: applet_<operation>_func
 * is the function, applet_<operation>_fn a pointer to it. */

/* Required. module: the library's own module handle; window: the host's main
 * window (post messages to it); reserved: always 0. Negative = refuse. */
typedef tamber_result (TAMBER_CALL applet_load_func)(tamber_handle module, tamber_handle window, uint32_t reserved);
typedef applet_load_func *applet_load_fn;
/* Immediately before the library is unmapped. */
typedef void (TAMBER_CALL applet_unload_func)(void);
typedef applet_unload_func *applet_unload_fn;
/* Required. Never called by the host; meaning is the library's. */
typedef void (TAMBER_CALL applet_receive_packet_func)(uint32_t a, uint32_t b);
typedef applet_receive_packet_func *applet_receive_packet_fn;
/* Every frame; elapsed = milliseconds since the previous frame. */
typedef void (TAMBER_CALL applet_update_func)(uint32_t elapsed);
typedef applet_update_func *applet_update_fn;
/* Every drawn frame, after update with the same elapsed; draw the whole
 * frame. x, y: pointer position in client coordinates. */
typedef void (TAMBER_CALL applet_render_func)(uint32_t elapsed, frame_view *frame, int32_t x, int32_t y);
typedef applet_render_func *applet_render_fn;
/* Never called by the host. */
typedef void (TAMBER_CALL applet_render2_func)(frame_view *frame);
typedef applet_render2_func *applet_render2_fn;
/* After a pointer move, a release, a drag start or cancel. Null: arrow. */
typedef tamber_handle (TAMBER_CALL applet_get_cursor_func)(int32_t x, int32_t y);
typedef applet_get_cursor_func *applet_get_cursor_fn;
/* A button went down; returns a press decision (TAMBER_PRESS_*). */
typedef int32_t (TAMBER_CALL applet_mouse_down_func)(int32_t button, int32_t x, int32_t y, int32_t double_click);
typedef applet_mouse_down_func *applet_mouse_down_fn;
/* A drag starts at (x, y); return a drag_operation to take it, or null. */
typedef drag_operation *(TAMBER_CALL applet_mouse_drag_func)(int32_t button, int32_t x, int32_t y);
typedef applet_mouse_drag_func *applet_mouse_drag_fn;
/* A press became a click. */
typedef void (TAMBER_CALL applet_mouse_click_func)(int32_t button, int32_t x, int32_t y, int32_t double_click);
typedef applet_mouse_click_func *applet_mouse_click_fn;
/* delta: signed, 120 per notch. x, y in client coordinates. */
typedef void (TAMBER_CALL applet_mouse_wheel_func)(int32_t x, int32_t y, int32_t delta);
typedef applet_mouse_wheel_func *applet_mouse_wheel_fn;
typedef void (TAMBER_CALL applet_mouse_move_func)(int32_t x, int32_t y);
typedef applet_mouse_move_func *applet_mouse_move_fn;
/* A button went up; when the host sends it, see "applet_mouse_up" above. */
typedef void (TAMBER_CALL applet_mouse_up_func)(int32_t button, int32_t x, int32_t y);
typedef applet_mouse_up_func *applet_mouse_up_fn;
/* vk: Windows virtual-key code. key_down for the first press, key_repeat for
 * each automatic repetition, key_up on release. */
typedef void (TAMBER_CALL applet_key_down_func)(uint32_t vk);
typedef applet_key_down_func *applet_key_down_fn;
typedef void (TAMBER_CALL applet_key_repeat_func)(uint32_t vk);
typedef applet_key_repeat_func *applet_key_repeat_fn;
typedef void (TAMBER_CALL applet_key_up_func)(uint32_t vk);
typedef applet_key_up_func *applet_key_up_fn;
/* Required. Never called by the host. */
typedef int32_t (TAMBER_CALL applet_get_balance_func)(void);
typedef applet_get_balance_func *applet_get_balance_fn;
/* Never called by the host. */
typedef void (TAMBER_CALL applet_set_message_func)(uint32_t message);
typedef applet_set_message_func *applet_set_message_fn;
/* Never called by the host. */
typedef int32_t (TAMBER_CALL applet_io_state_func)(uint32_t value);
typedef applet_io_state_func *applet_io_state_fn;
/* Message 0x8002 reached the host window. */
typedef void (TAMBER_CALL applet_on_wm_lobby_func)(void);
typedef applet_on_wm_lobby_func *applet_on_wm_lobby_fn;
/* Message 0x8101 reached the host window; error = HIWORD(lParam). */
typedef void (TAMBER_CALL applet_on_wm_async_select_func)(uint32_t error);
typedef applet_on_wm_async_select_func *applet_on_wm_async_select_fn;
/* Reached through the host export applet_send_packet only. */
typedef void (TAMBER_CALL applet_send_packet_func)(uint32_t a, uint32_t b);
typedef applet_send_packet_func *applet_send_packet_fn;
/* WM_CHAR: one UTF-16 code unit. */
typedef void (TAMBER_CALL applet_on_wm_char_func)(uint32_t character);
typedef applet_on_wm_char_func *applet_on_wm_char_fn;
/* The update server's base URL (NUL-terminated, ends in '/'); the string is
 * valid only during the call. */
typedef void (TAMBER_CALL applet_set_server_path_func)(const char *url);
typedef applet_set_server_path_func *applet_set_server_path_fn;
/* The host window received WM_CLOSE; the display is still open. */
typedef void (TAMBER_CALL applet_on_wm_close_func)(void);
typedef applet_on_wm_close_func *applet_on_wm_close_fn;
/* The host's application type (2). */
typedef void (TAMBER_CALL applet_set_application_type_func)(int32_t type);
typedef applet_set_application_type_func *applet_set_application_type_fn;

/* Declarations for library authors, one per entry point of the table:
 * define the ones you export. */
#ifndef TAMBER_HOST
#define TAMBER_DECLARE_ENTRY(operation, bytes, required) \
    TAMBER_EXPORT applet_##operation##_func applet_##operation;
TAMBER_APPLET_ENTRY_POINTS(TAMBER_DECLARE_ENTRY)
#undef TAMBER_DECLARE_ENTRY
#endif /* TAMBER_HOST */

/* ---- the host's export -------------------------------------------------- */

/* quillon.exe exports one function, "_applet_send_packet@8" (ordinal 1,
 * module name "quillon.exe"). It passes its two words unchanged to the
 * lobby library's applet_send_packet, and does nothing while no library or
 * entry point is bound (also during applet_load). Reach it with
 *     GetProcAddress(GetModuleHandleA(NULL), TAMBER_HOST_SEND_PACKET_NAME)
 * Where names carry no stdcall decoration the host program exports the
 * plain name "applet_send_packet" as a dynamic symbol instead:
 *     dlsym(RTLD_DEFAULT, TAMBER_HOST_SEND_PACKET_NAME)  */
typedef void (TAMBER_CALL *tamber_host_send_packet_fn)(uint32_t a, uint32_t b);
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#  define TAMBER_HOST_SEND_PACKET_NAME "_applet_send_packet@8"
#else
#  define TAMBER_HOST_SEND_PACKET_NAME "applet_send_packet"
#endif

/* Posting to the host window. On Windows a library posts with PostMessage
 * to the window applet_load gave it. Where the host has no window a library
 * can post to (the native host, on SDL), the host program exports a second
 * function instead, found the same way:
 *     dlsym(RTLD_DEFAULT, TAMBER_HOST_POST_MESSAGE_NAME)
 * It queues the message for the host window as PostMessage does, may be
 * called from any thread, and returns 1 when the message was queued, 0 when
 * `window` is not the host window or the queue refused it. */
#if !defined(_WIN32)
typedef int (TAMBER_CALL *tamber_host_post_message_fn)(tamber_handle window, uint32_t message, uintptr_t wparam,
                                                       intptr_t lparam);
#  define TAMBER_HOST_POST_MESSAGE_NAME "tamber_post_message"
#endif

#ifdef __cplusplus
}
#endif

#endif /* TAMBER_APPLET_H */
