#include "lobby.h"

#include <cstdio>
#include <cstring>

#include "platform.h"

namespace lobby {
namespace {

constexpr uint32_t message_duration_ms = 4000;

state lobby_state;
image icons;
image felt;

// Pointer positions are stored for drawing the chip in hand; keeping them
// in a sane range spares the drawing code any overflow worries.
int32_t clamp_position(int32_t v) {
    return v < -4096 ? -4096 : (v > 16384 ? 16384 : v);
}

bool inside_disc(int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t radius) {
    const int64_t dx = int64_t(x) - cx, dy = int64_t(y) - cy;
    if (dx < -radius || dx > radius || dy < -radius || dy > radius) return false;
    return dx * dx + dy * dy <= int64_t(radius) * radius;
}

void flash(state &s, region what, int index) {
    s.flash = hit{what, index};
    s.flash_ms = flash_duration_ms;
}

void activate_tile(state &s, int index) {
    s.selected_tile = index;
    flash(s, region::tile, index);
    char text[128];
    if (s.name_length > 0) {
        std::snprintf(text, sizeof text, "Opening %s - good luck, %s!", s.look.tile_names[index], s.name);
    } else {
        std::snprintf(text, sizeof text, "Opening %s - good luck!", s.look.tile_names[index]);
    }
    show_message(s, text);
}

void push_chip(state &s, int32_t value) {
    if (s.stack_count < max_stack) s.stack[s.stack_count++] = value;
}

void remove_top_chip(state &s) {
    if (s.stack_count == 0) return;
    const int32_t value = s.stack[--s.stack_count];
    s.balance += value;
    char amount[24], text[128];
    format_money(amount, sizeof amount, value);
    std::snprintf(text, sizeof text, "%s back to your balance", amount);
    show_message(s, text);
}

} // namespace

int32_t state::bet() const {
    int32_t total = 0;
    for (int i = 0; i < stack_count; ++i) total += stack[i];
    return total;
}

state &the_lobby() { return lobby_state; }
image &icons_image() { return icons; }
image &felt_image() { return felt; }

void load(state &s, tamber_handle window) {
    s = state{};
    s.window = window;
    s.look = default_theme();
    load_theme("lobby/theme.txt", s.look);
    // The icon strip must hold all three games to be used at all.
    s.have_icons = load_bmp("lobby/icons.bmp", icons) && icons.width >= tile_count * layout::icon_size &&
                   icons.height >= layout::icon_size;
    s.have_felt = load_bmp("lobby/felt.bmp", felt);
    s.balance = s.look.start_balance;
    forget_cached_backdrop();
}

void unload(state &s) {
    s = state{};
    icons.width = icons.height = 0;
    felt.width = felt.height = 0;
    forget_cached_backdrop();
}

void format_money(char *out, int capacity, int64_t amount) {
    if (capacity <= 0) return;
    char digits[24];
    const bool negative = amount < 0;
    uint64_t v = negative ? uint64_t(-(amount + 1)) + 1 : uint64_t(amount);
    int n = 0;
    do {
        if (n > 0 && n % 4 == 3) digits[n++] = ',';
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    int at = 0;
    auto put = [&](char ch) {
        if (at < capacity - 1) out[at++] = ch;
    };
    if (negative) put('-');
    put('$');
    while (n > 0) put(digits[--n]);
    out[at] = '\0';
}

void show_message(state &s, const char *text) {
    // Longer texts are cut to what fits on the message line.
    int n = 0;
    for (; text[n] != '\0' && n < max_message_length; ++n) s.message[n] = text[n];
    s.message[n] = '\0';
    s.message_ms = message_duration_ms;
}

bool on_spot(int32_t x, int32_t y) {
    // A little slack around the ring makes drops forgiving.
    return inside_disc(x, y, layout::spot_x, layout::spot_y, layout::spot_radius + 6);
}

hit hit_test(const state &s, int32_t x, int32_t y) {
    if (layout::fullscreen_button.contains(x, y)) return hit{region::fullscreen, 0};
    if (layout::quit_button.contains(x, y)) return hit{region::quit, 0};
    for (int i = 0; i < tile_count; ++i) {
        if (layout::tiles[i].contains(x, y)) return hit{region::tile, i};
    }
    if (layout::name_field.contains(x, y)) return hit{region::name_field, 0};
    for (int i = 0; i < layout::chip_kinds; ++i) {
        if (inside_disc(x, y, layout::chip_x[i], layout::chip_y, layout::chip_radius)) return hit{region::chip, i};
    }
    if (on_spot(x, y)) return hit{s.stack_count > 0 ? region::bet_stack : region::bet_spot, 0};
    return hit{};
}

tamber_handle cursor_at(const state &s, int32_t x, int32_t y) {
    const hit h = hit_test(s, x, y);
    switch (h.what) {
    case region::tile:
    case region::fullscreen:
    case region::quit:
    case region::bet_stack:
        return platform_cursor(cursor_shape::hand);
    case region::chip:
        // Only chips the player can afford can be picked up.
        return platform_cursor(s.balance >= chip_values[h.index] ? cursor_shape::hand : cursor_shape::arrow);
    case region::name_field:
        return platform_cursor(cursor_shape::text);
    case region::bet_spot:
    case region::none:
        break;
    }
    return platform_cursor(cursor_shape::arrow);
}

void advance(state &s, uint32_t elapsed_ms) {
    // A long stall (a modal dialog, a dragged window) should not skip
    // animations to their end in one jump.
    if (elapsed_ms > 1000) elapsed_ms = 1000;
    s.clock_ms += elapsed_ms;
    s.flash_ms = s.flash_ms > elapsed_ms ? s.flash_ms - elapsed_ms : 0;
    s.message_ms = s.message_ms > elapsed_ms ? s.message_ms - elapsed_ms : 0;
}

int32_t press(state &s, int32_t button, int32_t x, int32_t y, int32_t double_click) {
    (void)double_click; // the host clicks a held double click at once itself
    if (button != TAMBER_BUTTON_LEFT) return press_ignore;
    const hit h = hit_test(s, x, y);
    switch (h.what) {
    case region::chip:
        // An affordable chip goes straight into the hand; a press on one the
        // player cannot pay for is a click that says so.
        return s.balance >= chip_values[h.index] ? press_drag : press_click;
    case region::bet_stack:
        // Wait and see: a release takes the top chip back, a move drags it.
        return press_hold;
    case region::none:
        return press_ignore;
    default:
        return press_click;
    }
}

void click(state &s, int32_t button, int32_t x, int32_t y, int32_t double_click) {
    (void)double_click;
    if (button != TAMBER_BUTTON_LEFT) return;
    const hit h = hit_test(s, x, y);
    char amount[24], text[128];
    switch (h.what) {
    case region::tile:
        activate_tile(s, h.index);
        break;
    case region::fullscreen:
        flash(s, region::fullscreen, 0);
        platform_post_message(s.window, TAMBER_WM_TOGGLE_MODE);
        break;
    case region::quit:
        flash(s, region::quit, 0);
        platform_post_message(s.window, wm_close);
        break;
    case region::name_field:
        show_message(s, "Type your name - Backspace deletes");
        break;
    case region::chip:
        format_money(amount, sizeof amount, chip_values[h.index]);
        if (s.balance < chip_values[h.index]) {
            std::snprintf(text, sizeof text, "Not enough balance for a %s chip", amount);
        } else {
            std::snprintf(text, sizeof text, "Drag the %s chip onto the betting spot", amount);
        }
        show_message(s, text);
        break;
    case region::bet_stack:
        remove_top_chip(s);
        break;
    case region::bet_spot:
        show_message(s, "Drag a chip from the tray onto the spot");
        break;
    case region::none:
        break;
    }
}

void wheel(state &s, int32_t delta) {
    if (delta > 0) key(s, vk_left, false);
    if (delta < 0) key(s, vk_right, false);
}

void key(state &s, uint32_t vk, bool repeat) {
    switch (vk) {
    case vk_left:
    case vk_up:
        s.selected_tile = (s.selected_tile + tile_count - 1) % tile_count;
        break;
    case vk_right:
    case vk_down:
        s.selected_tile = (s.selected_tile + 1) % tile_count;
        break;
    case vk_home:
        s.selected_tile = 0;
        break;
    case vk_end:
        s.selected_tile = tile_count - 1;
        break;
    case vk_return:
        if (!repeat) activate_tile(s, s.selected_tile); // holding Enter opens once
        break;
    case vk_escape:
        s.message_ms = 0;
        break;
    default:
        break;
    }
}

void character(state &s, uint32_t code_unit) {
    if (code_unit == 8) { // Backspace
        if (s.name_length > 0) s.name[--s.name_length] = '\0';
        return;
    }
    // The font has printable ASCII only; everything else is not typed.
    if (code_unit < 32 || code_unit > 126) return;
    if (s.name_length == 0 && code_unit == ' ') return; // no leading blanks
    if (s.name_length >= max_name_length) return;
    s.name[s.name_length++] = char(code_unit);
    s.name[s.name_length] = '\0';
}

bool take_from_tray(state &s, int kind, int32_t x, int32_t y) {
    if (s.hand.active || kind < 0 || kind >= layout::chip_kinds) return false;
    const int32_t value = chip_values[kind];
    if (s.balance < value) return false;
    s.balance -= value;
    s.hand = chip_in_hand{true, value, chip_in_hand::origin::tray, clamp_position(x), clamp_position(y)};
    return true;
}

bool take_from_stack(state &s, int32_t x, int32_t y) {
    if (s.hand.active || s.stack_count == 0) return false;
    const int32_t value = s.stack[--s.stack_count];
    s.hand = chip_in_hand{true, value, chip_in_hand::origin::spot, clamp_position(x), clamp_position(y)};
    return true;
}

void move_chip(state &s, int32_t x, int32_t y) {
    s.hand.x = clamp_position(x);
    s.hand.y = clamp_position(y);
}

void drop_chip(state &s, int32_t x, int32_t y) {
    if (!s.hand.active) return;
    move_chip(s, x, y);
    s.hand.active = false;
    const int32_t value = s.hand.value;
    char amount[24], total[24], text[128];
    format_money(amount, sizeof amount, value);
    if (on_spot(x, y) && s.stack_count < max_stack) {
        push_chip(s, value);
        format_money(total, sizeof total, s.bet());
        std::snprintf(text, sizeof text, "%s on the spot - your bet is %s", amount, total);
    } else if (on_spot(x, y)) {
        s.balance += value;
        std::snprintf(text, sizeof text, "Table limit: %d chips", max_stack);
    } else {
        // Dropped anywhere else: the chip goes back to the player.
        s.balance += value;
        std::snprintf(text, sizeof text, "%s back to your balance", amount);
    }
    show_message(s, text);
}

void cancel_chip(state &s) {
    if (!s.hand.active) return;
    s.hand.active = false;
    // Everything as it was before the drag.
    if (s.hand.from == chip_in_hand::origin::spot) {
        push_chip(s, s.hand.value);
    } else {
        s.balance += s.hand.value;
    }
    show_message(s, "Drag cancelled");
}

} // namespace lobby
