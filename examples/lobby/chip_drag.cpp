// The drag object the lobby hands the host while a chip follows the mouse.
//
// drag_operation is a COM-style object: its first word points to a table of
// eight __stdcall functions, each called with the object first. There is
// only ever one drag at a time, so one static object serves them all. Its
// reference count never drops below 1: that is the lobby's own reference.
// The host takes one more for as long as the drag lasts.
//
// The chip itself is part of the lobby's state (state::hand); the drag
// object only forwards the host's calls to it.
#include "lobby.h"
#include "platform.h"

namespace lobby {
namespace {

struct chip_drag {
    drag_operation base; // first member: the host sees &base
    uint32_t references;
    state *owner;
};

int32_t TAMBER_CALL query_interface(drag_operation *self, const void *iid, void **out);
uint32_t TAMBER_CALL add_ref(drag_operation *self);
uint32_t TAMBER_CALL release(drag_operation *self);
void TAMBER_CALL begin(drag_operation *self, int32_t x, int32_t y);
void TAMBER_CALL move(drag_operation *self, int32_t x, int32_t y);
tamber_handle TAMBER_CALL get_cursor(drag_operation *self, int32_t x, int32_t y);
void TAMBER_CALL drop(drag_operation *self, int32_t x, int32_t y);
void TAMBER_CALL cancel(drag_operation *self);

const drag_operation_vtbl chip_drag_functions = {
    query_interface, add_ref, release, begin, move, get_cursor, drop, cancel,
};

chip_drag the_drag = {{&chip_drag_functions}, 1, nullptr};

// The state the drag works on, or null when `self` is not our object (a
// confused caller gets no effect rather than a crash).
state *owner_of(drag_operation *self) {
    return self == &the_drag.base ? the_drag.owner : nullptr;
}

int32_t TAMBER_CALL query_interface(drag_operation *, const void *, void **out) {
    // The host never asks; there is no other interface to give.
    if (out != nullptr) *out = nullptr;
    return int32_t(0x80004002u); // E_NOINTERFACE
}

uint32_t TAMBER_CALL add_ref(drag_operation *self) {
    if (self != &the_drag.base) return 0;
    return ++the_drag.references;
}

uint32_t TAMBER_CALL release(drag_operation *self) {
    if (self != &the_drag.base) return 0;
    if (the_drag.references > 1) --the_drag.references;
    // Every reference but ours is gone and the chip is still in hand: the
    // drag ended without drop or cancel. Put the chip back rather than lose it.
    if (the_drag.references == 1 && the_drag.owner != nullptr && the_drag.owner->hand.active) {
        cancel_chip(*the_drag.owner);
    }
    return the_drag.references;
}

void TAMBER_CALL begin(drag_operation *self, int32_t x, int32_t y) {
    if (state *s = owner_of(self)) move_chip(*s, x, y);
}

void TAMBER_CALL move(drag_operation *self, int32_t x, int32_t y) {
    if (state *s = owner_of(self)) move_chip(*s, x, y);
}

tamber_handle TAMBER_CALL get_cursor(drag_operation *, int32_t x, int32_t y) {
    return drag_cursor_at(x, y);
}

void TAMBER_CALL drop(drag_operation *self, int32_t x, int32_t y) {
    if (state *s = owner_of(self)) drop_chip(*s, x, y);
}

void TAMBER_CALL cancel(drag_operation *self) {
    if (state *s = owner_of(self)) cancel_chip(*s);
}

} // namespace

tamber_handle drag_cursor_at(int32_t x, int32_t y) {
    // A hand over the spot says "let go here to bet".
    return platform_cursor(on_spot(x, y) ? cursor_shape::hand : cursor_shape::arrow);
}

drag_operation *start_drag(state &s, int32_t button, int32_t x, int32_t y) {
    if (button != TAMBER_BUTTON_LEFT) return nullptr;
    const hit h = hit_test(s, x, y);
    bool taken = false;
    if (h.what == region::chip) taken = take_from_tray(s, h.index, x, y);
    if (h.what == region::bet_stack) taken = take_from_stack(s, x, y);
    if (!taken) return nullptr;
    the_drag.owner = &s;
    // Lent, not given: the host calls AddRef before it keeps the pointer.
    return &the_drag.base;
}

} // namespace lobby
