#include "shell/input.h"

#include <cstdlib>
#include <utility>

namespace tamber {

namespace {
void add_ref(drag_operation* d) { d->vtbl->AddRef(d); }
void release(drag_operation* d) { d->vtbl->Release(d); }
}  // namespace

mouse_router::mouse_router(input_system& system, int32_t drag_width, int32_t drag_height, cursor_handle arrow)
    : system_(system), drag_width_(drag_width), drag_height_(drag_height), arrow_(arrow) {}

mouse_router::~mouse_router() {
    if (drag_operation* d = std::exchange(drag_, nullptr)) release(d);
}

void mouse_router::update_cursor(applet_base& target, int32_t x, int32_t y) {
    cursor_handle cursor = drag_ ? drag_->vtbl->get_cursor(drag_, x, y) : target.get_cursor(x, y);
    system_.set_cursor(cursor ? cursor : arrow_);
}

void mouse_router::button_down(applet_base& target, int32_t button, int32_t x, int32_t y, int32_t double_click) {
    if (drag_) return;
    switch (target.mouse_down(button, x, y, double_click)) {
    case TAMBER_PRESS_CLICK:
        target.mouse_click(button, x, y, double_click);
        break;
    case TAMBER_PRESS_DRAG:
        begin_drag(target, button, x, y);
        break;
    case TAMBER_PRESS_HOLD:
        if (double_click == 1) {
            target.mouse_click(button, x, y, double_click);
            pending_ = false;
        } else {
            pending_ = true;
            pending_button_ = button;
            pending_x_ = x;
            pending_y_ = y;
        }
        break;
    default:  // any other answer ends the press
        break;
    }
}

void mouse_router::begin_drag(applet_base& target, int32_t button, int32_t x, int32_t y) {
    drag_operation* d = target.mouse_drag(button, x, y);
    if (d) add_ref(d);
    if (drag_operation* previous = std::exchange(drag_, d)) release(previous);
    if (drag_) {
        drag_button_ = button;
        system_.set_capture();
        drag_->vtbl->begin(drag_, x, y);
    }
    update_cursor(target, x, y);
}

void mouse_router::pointer_moved(applet_base& target, int32_t x, int32_t y) {
    if (drag_) {
        drag_->vtbl->move(drag_, x, y);
    } else if (pending_) {
        // Widened before subtracting: coordinates are any 16-bit values.
        const int64_t dx = std::llabs(int64_t{x} - pending_x_), dy = std::llabs(int64_t{y} - pending_y_);
        if (dx > drag_width_ || dy > drag_height_) {
            // The press is settled before the applet is asked, so that a
            // press recorded while it runs is not lost.
            pending_ = false;
            begin_drag(target, pending_button_, pending_x_, pending_y_);  // the drag starts at the press point
            if (drag_)
                drag_->vtbl->move(drag_, x, y);
            else
                target.mouse_move(x, y);
        }
    } else {
        target.mouse_move(x, y);
    }
    update_cursor(target, x, y);
}

void mouse_router::button_up(applet_base& target, int32_t button, int32_t x, int32_t y) {
    if (drag_) {
        if (button == drag_button_) {
            // A reference of our own keeps the object alive through drop,
            // whatever the applet does with its own.
            drag_operation* d = drag_;
            add_ref(d);
            d->vtbl->move(d, x, y);
            if (drag_operation* held = std::exchange(drag_, nullptr)) release(held);
            system_.release_capture();
            target.mouse_move(x, y);
            d->vtbl->drop(d, x, y);
            release(d);
        }
    } else if (pending_) {
        pending_ = false;
        target.mouse_click(button, pending_x_, pending_y_, 0);  // no mouse_up for this press
    } else {
        target.mouse_up(button, x, y);
    }
    update_cursor(target, x, y);
}

void mouse_router::wheel_turned(applet_base& target, int32_t x, int32_t y, int32_t delta) {
    if (!drag_) target.mouse_wheel(x, y, delta);
}

void mouse_router::cancel_drag(applet_base& target) {
    if (drag_operation* d = std::exchange(drag_, nullptr)) {
        d->vtbl->cancel(d);
        release(d);
        system_.release_capture();
    }
    const point p = system_.cursor_position();
    target.mouse_move(p.x, p.y);
    update_cursor(target, p.x, p.y);
}

void mouse_router::key_pressed(applet_base& target, uint32_t vk, uint32_t repeat_count, bool was_down) {
    if (drag_) {
        if (vk == vk_escape) cancel_drag(target);
        return;  // every other key is dropped during a drag
    }
    if (was_down)
        target.key_repeat(vk);
    else
        target.key_down(vk);
    for (uint32_t i = 1; i < repeat_count; ++i) target.key_repeat(vk);
}

}  // namespace tamber
