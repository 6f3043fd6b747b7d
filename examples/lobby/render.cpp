// Draws the whole lobby, every frame, into the host's frame.
//
// The host does not clear the frame between frames, so the backdrop (the
// felt and everything that does not change) is painted over every pixel
// first; everything else is drawn on top, back to front.
// Layout is in the 800 x 600 coordinates of lobby.h; a frame of another size
// shows the part that fits.
#include <cstdio>
#include <cstring>

#include "font.h"
#include "lobby.h"

namespace lobby {
namespace {

constexpr colour black = rgb(0x000000);
constexpr colour white = rgb(0xFFFFFF);
constexpr colour wood = rgb(0x5B3A1F);
constexpr colour magenta = rgb(0xFF00FF); // transparent in icons.bmp

struct chip_look {
    colour body, inserts, ink;
};

constexpr chip_look chip_looks[layout::chip_kinds] = {
    {rgb(0xEAE4D6), rgb(0x2C5FB3), rgb(0x1B2A4A)}, // 1: ivory, blue edge
    {rgb(0xC0282D), rgb(0xF4EEDC), rgb(0xFFFFFF)}, // 5: red
    {rgb(0x1F8A4C), rgb(0xF4EEDC), rgb(0xFFFFFF)}, // 25: green
    {rgb(0x232328), rgb(0xE3B341), rgb(0xF4D27A)}, // 100: black, gold edge
    {rgb(0x6C2A9A), rgb(0xF4EEDC), rgb(0xFFFFFF)}, // 500: purple
};

int chip_kind(int32_t value) {
    for (int i = 0; i < layout::chip_kinds; ++i) {
        if (chip_values[i] == value) return i;
    }
    return 0;
}

// ---- background --------------------------------------------------------------

// Felt over the whole frame: the theme's colour, the grain of felt.bmp if
// there is one (grey 128 leaves the colour as it is), and a vignette that
// darkens towards the edges like a lamp over the table. It touches every
// pixel (every frame, in a frame larger than 800 x 600), so it sticks to
// 32-bit arithmetic (the DLL is 32-bit) and walks the grain tile with
// wrapping counters instead of divisions.
void draw_felt(canvas &c, const state &s) {
    const image &grain = felt_image();
    const bool textured = s.have_felt && grain.loaded();
    constexpr int32_t cx = 400, cy = 330;
    // light = 256 - d^2 * falloff / 65536, never below min_light. Beyond
    // `reach` pixels from the centre it is min_light anyway, so distances
    // are clamped there and the products stay well inside 32 bits.
    constexpr int32_t falloff = (110 << 16) / (400 * 400 + 300 * 300);
    constexpr int32_t min_light = 96, reach = 1000;
    auto clamped = [](int32_t d) { return d < -reach ? -reach : (d > reach ? reach : d); };
    const colour base = s.look.felt;
    int32_t grain_y = 0;
    for (int32_t y = 0; y < c.height(); ++y) {
        uint8_t *blue = c.row(0, y), *green = c.row(1, y), *red = c.row(2, y);
        const int32_t dy = clamped(y - cy);
        const colour *grain_row = textured ? &grain.pixels[grain_y * grain.width] : nullptr;
        int32_t grain_x = 0;
        for (int32_t x = 0; x < c.width(); ++x) {
            const int32_t dx = clamped(x - cx);
            int32_t light = 256 - (((dx * dx + dy * dy) * falloff) >> 16);
            if (light < min_light) light = min_light;
            if (grain_row) {
                light = (light * (grain_row[grain_x].g + 128)) >> 8;
                if (++grain_x == grain.width) grain_x = 0;
            }
            // Components times at most 256 * 383 / 256: clamp to a byte.
            const int32_t b = (base.b * light) >> 8, g = (base.g * light) >> 8, r = (base.r * light) >> 8;
            blue[x] = uint8_t(b > 255 ? 255 : b);
            green[x] = uint8_t(g > 255 ? 255 : g);
            red[x] = uint8_t(r > 255 ? 255 : r);
        }
        if (textured && ++grain_y == grain.height) grain_y = 0;
    }
}

// ---- chips -------------------------------------------------------------------

// A casino chip seen from above: body, eight edge inserts, a lighter inlay
// with the value. `dim` greys it out (a chip the player cannot afford).
void draw_chip(canvas &c, int32_t cx, int32_t cy, int32_t radius, int32_t value, bool dim, colour dim_to) {
    chip_look look = chip_looks[chip_kind(value)];
    if (dim) {
        look.body = mix(look.body, dim_to, 150);
        look.inserts = mix(look.inserts, dim_to, 150);
        look.ink = mix(look.ink, dim_to, 150);
    }
    c.fill_disc(cx, cy, radius, scale(look.body, 150)); // rim
    c.fill_disc(cx, cy, radius - 1, look.body);
    // Inserts: the ring between 70% and 95% of the radius, wherever the
    // direction from the centre lies within 11.25 degrees of an axis or a
    // diagonal. In integers: min/max of |dx|,|dy| below tan(11.25) = 0.199
    // or above tan(33.75) = 0.668.
    const int64_t outer = int64_t(radius - 2) * (radius - 2);
    const int64_t inner = int64_t(radius * 7 / 10) * (radius * 7 / 10);
    // Each run of insert pixels along a row is drawn as one span.
    for (int32_t dy = -radius; dy <= radius; ++dy) {
        int32_t run_start = 0;
        bool in_run = false;
        for (int32_t dx = -radius; dx <= radius + 1; ++dx) {
            bool insert = false;
            if (dx <= radius) {
                const int64_t d2 = int64_t(dx) * dx + int64_t(dy) * dy;
                const int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
                const int64_t lo = ax < ay ? ax : ay, hi = ax < ay ? ay : ax;
                insert = d2 <= outer && d2 >= inner && (lo * 1000 < hi * 199 || lo * 1000 > hi * 668);
            }
            if (insert && !in_run) run_start = dx;
            if (!insert && in_run) c.span(cx + run_start, cx + dx, cy + dy, look.inserts);
            in_run = insert;
        }
    }
    const int32_t inlay = radius * 62 / 100;
    c.fill_disc(cx, cy, inlay + 1, scale(look.body, 170));
    c.fill_disc(cx, cy, inlay, mix(look.body, white, 50));
    char label[12];
    std::snprintf(label, sizeof label, "%d", int(value));
    const int32_t text_scale = text_width(label, 2) <= inlay * 2 - 2 ? 2 : 1;
    draw_text_centred(c, cx, cy - (cap_height * text_scale) / 2, label, text_scale, look.ink);
}

// The chips on the spot, bottom first, each a few pixels above the last.
void draw_stack(canvas &c, const state &s, bool hovered) {
    const int max_shown = 10;
    const int first = s.stack_count > max_shown ? s.stack_count - max_shown : 0;
    int32_t y = layout::spot_y + 12;
    for (int i = first; i < s.stack_count; ++i, y -= 5) {
        const chip_look &look = chip_looks[chip_kind(s.stack[i])];
        c.fill_disc(layout::spot_x + 1, y + 4, layout::chip_radius, scale(look.body, 90)); // the chip's side
        if (i + 1 < s.stack_count) {
            c.fill_disc(layout::spot_x, y, layout::chip_radius, scale(look.body, 200));
            c.fill_disc(layout::spot_x, y, layout::chip_radius - 3, look.body);
        } else {
            if (hovered) c.fill_disc(layout::spot_x, y, layout::chip_radius + 3, s.look.accent);
            draw_chip(c, layout::spot_x, y, layout::chip_radius, s.stack[i], false, s.look.felt);
        }
    }
}

// ---- pieces of the screen ---------------------------------------------------

// A pill-shaped button in the header: dark with a gold edge, gold when the
// pointer is over it, bright for a moment after a click.
void draw_button(canvas &c, const state &s, rect r, const char *label, bool hovered, bool flashing) {
    const colour edge = s.look.accent;
    colour fill = hovered ? edge : scale(s.look.header, 150);
    colour ink = hovered ? s.look.header : s.look.text;
    if (flashing) fill = mix(fill, white, 150);
    c.fill_rounded(r.moved(0, 2), 10, black, 90);
    c.fill_rounded(r, 10, edge);
    c.fill_rounded(r.inset(2), 8, fill);
    const int32_t text_y = r.top + (r.height() - cap_height * 2) / 2;
    draw_text_centred(c, r.left + r.width() / 2, text_y, label, 2, ink);
}

// The bar with the emblem and the casino's name; the buttons are drawn on
// it every frame (draw_header_buttons).
void draw_header_bar(canvas &c, const state &s) {
    const rect bar = layout::header;
    c.gradient(rect{bar.left, bar.top, bar.right, bar.bottom - 3}, mix(s.look.header, white, 36),
               scale(s.look.header, 170));
    // Gold trim: a light line over a darker one.
    c.fill(rect{bar.left, bar.bottom - 3, bar.right, bar.bottom - 1}, s.look.accent);
    c.fill(rect{bar.left, bar.bottom - 1, bar.right, bar.bottom}, scale(s.look.accent, 140));
    c.fill(rect{bar.left, bar.bottom, bar.right, bar.bottom + 4}, black, 70);

    // Emblem and casino name.
    draw_chip(c, 44, 36, 19, 100, false, s.look.felt);
    // Large, unless the name is too long to fit before the buttons.
    const int32_t name_scale = text_width(s.look.casino_name, 3) <= layout::fullscreen_button.left - 96 ? 3 : 2;
    draw_text_shadowed(c, 76, 36 - (cap_height * name_scale) / 2, s.look.casino_name, name_scale, s.look.accent,
                       scale(s.look.header, 90), 2);
}

void draw_header_buttons(canvas &c, const state &s, hit hover) {
    const bool flashing = s.flash_ms > 0;
    draw_button(c, s, layout::fullscreen_button, "Fullscreen", hover.what == region::fullscreen,
                flashing && s.flash.what == region::fullscreen);
    draw_button(c, s, layout::quit_button, "Quit", hover.what == region::quit,
                flashing && s.flash.what == region::quit);
}

// A game picture: the icon strip's square for this game, or, without one,
// a gold medallion with the game's initial.
void draw_game_picture(canvas &c, const state &s, int index, int32_t cx, int32_t cy) {
    const int32_t half = layout::icon_size / 2;
    if (s.have_icons) {
        const rect from{index * layout::icon_size, 0, (index + 1) * layout::icon_size, layout::icon_size};
        c.blit(icons_image(), from, cx - half, cy - half, magenta);
        return;
    }
    c.fill_disc(cx, cy, half - 2, s.look.accent);
    c.fill_disc(cx, cy, half - 6, scale(s.look.panel, 200));
    const char initial[2] = {s.look.tile_names[index][0], '\0'};
    draw_text_centred(c, cx, cy - (cap_height * 4) / 2, initial, 4, s.look.accent);
}

void draw_tile(canvas &c, const state &s, int index, bool hovered) {
    const bool selected = s.selected_tile == index;
    const uint32_t flash_left = (s.flash.what == region::tile && s.flash.index == index) ? s.flash_ms : 0;
    // The tile under the pointer lifts a little.
    const rect r = layout::tiles[index].moved(0, hovered ? -3 : 0);
    const int32_t cx = r.left + r.width() / 2;

    c.fill_rounded(r.moved(3, hovered ? 9 : 6), 14, black, 100); // shadow
    if (selected) c.fill_rounded(r.inset(-4), 17, s.look.accent, 90); // glow of the keyboard choice
    c.fill_rounded(r, 14, selected || hovered ? s.look.accent : mix(s.look.panel, s.look.accent, 70));
    const colour fill = hovered ? mix(s.look.panel, s.look.felt, 110) : s.look.panel;
    // Lighter at the top, like lamp light on lacquer.
    c.fill_rounded_gradient(r.inset(3), 11, mix(fill, white, 34), fill);

    const int32_t picture_y = r.top + 50;
    c.fill_disc(cx, picture_y, 42, mix(fill, s.look.felt, 150));
    draw_game_picture(c, s, index, cx, picture_y);

    draw_text_shadowed(c, cx - text_width(s.look.tile_names[index], 2) / 2, r.top + 100,
                       s.look.tile_names[index], 2, hovered ? s.look.accent : s.look.text, black, 1);
    draw_text_centred(c, cx, r.top + 122, s.look.tile_notes[index], 1, mix(fill, s.look.text, 150));

    // "PLAY" pill: filled when the tile is the one Enter would open.
    const rect pill{cx - 40, r.bottom - 38, cx + 40, r.bottom - 14};
    c.fill_rounded(pill, 12, s.look.accent);
    if (!(selected || hovered)) c.fill_rounded(pill.inset(2), 10, fill);
    draw_text_centred(c, cx, pill.top + 5, "PLAY", 2, selected || hovered ? s.look.panel : s.look.accent);

    if (flash_left > 0) {
        c.fill_rounded(r, 14, white, uint8_t((flash_left * 170) / flash_duration_ms));
    }
}

void draw_title(canvas &c, const state &s) {
    const char *title = "CHOOSE YOUR GAME";
    const int32_t w = text_width(title, 2);
    const colour ink = mix(s.look.felt, s.look.accent, 200);
    draw_text_shadowed(c, 400 - w / 2, 88, title, 2, ink, scale(s.look.felt, 120), 1);
    c.fill(rect{70, 94, 400 - w / 2 - 18, 96}, ink, 160);
    c.fill(rect{400 + w / 2 + 18, 94, 730, 96}, ink, 160);
}

// A dark, see-through card that groups what lies on it.
void draw_panel(canvas &c, rect r) {
    c.fill_rounded(r, 12, black, 60);
    c.fill_rounded(rect{r.left, r.top, r.right, r.top + 2}, 1, white, 20);
}

// The player's card and its labels; what they label is drawn every frame
// (draw_player_values).
void draw_player_card(canvas &c, const state &s) {
    const colour label = mix(s.look.felt, s.look.accent, 220);
    draw_panel(c, layout::player_panel);
    const int32_t x = layout::name_field.left;
    draw_text(c, x, layout::name_field.top - 16, "PLAYER", 1, label);
    draw_text(c, x, 380, "BALANCE", 1, label);
    draw_text(c, x, 424, "ON THE SPOT", 1, label);
}

void draw_player_values(canvas &c, const state &s, hit hover) {
    const rect field = layout::name_field;
    const int32_t x = field.left;
    c.fill_rounded(field, 8, hover.what == region::name_field ? s.look.accent : mix(s.look.panel, s.look.accent, 110));
    c.fill_rounded(field.inset(2), 6, scale(s.look.panel, 200));
    const int32_t text_x = field.left + 10, text_y = field.top + (field.height() - cap_height * 2) / 2;
    if (s.name_length == 0) {
        draw_text(c, text_x, text_y, "Type your name", 2, mix(s.look.panel, s.look.text, 90));
    } else {
        draw_text(c, text_x, text_y, s.name, 2, s.look.text);
    }
    // Caret after the last character, blinking twice a second.
    if ((s.clock_ms / 500) % 2 == 0) {
        const int32_t caret_x = text_x + (s.name_length > 0 ? text_width(s.name, 2) + 3 : -3);
        c.fill(rect{caret_x, text_y - 2, caret_x + 2, text_y + cap_height * 2 + 2}, s.look.accent);
    }

    char amount[24];
    format_money(amount, sizeof amount, s.balance);
    draw_text_shadowed(c, x, 392, amount, 3, s.look.text, black, 2);
    format_money(amount, sizeof amount, s.bet());
    draw_text_shadowed(c, x, 436, amount, 2, s.look.accent, black, 1);
}

// The right-hand card: how to use the lobby, each line marked with a chip.
void draw_help_panel(canvas &c, const state &s) {
    const rect r = layout::help_panel;
    draw_panel(c, r);
    draw_text_shadowed(c, r.left + 16, r.top + 16, "HOW TO PLAY", 2, mix(s.look.felt, s.look.accent, 220), black, 1);
    const char *lines[] = {
        "Drag a chip onto the spot",
        "Click the stack: one chip back",
        "Drag off the stack to move it",
        "Arrows + Enter pick a game",
        "Type to change your name",
    };
    int32_t y = r.top + 44;
    for (int i = 0; i < 5; ++i, y += 21) {
        const chip_look &look = chip_looks[i];
        c.fill_disc(r.left + 22, y + 3, 6, look.body);
        c.fill_disc(r.left + 22, y + 3, 2, look.inserts);
        draw_text(c, r.left + 36, y, lines[i], 1, mix(s.look.felt, s.look.text, 225));
    }
}

void draw_spot(canvas &c, const state &s, hit hover, bool chip_over_spot) {
    const int32_t x = layout::spot_x, y = layout::spot_y, r = layout::spot_radius;
    if (chip_over_spot) c.fill_disc(x, y, r + 10, s.look.accent, 70);
    c.fill_disc(x, y, r, s.look.accent);
    c.fill_disc(x, y, r - 3, scale(s.look.felt, 215));
    c.fill_disc(x, y, r - 9, mix(scale(s.look.felt, 215), s.look.accent, 40));
    c.fill_disc(x, y, r - 11, scale(s.look.felt, 200));
    if (s.stack_count == 0) {
        const colour ink = mix(s.look.felt, s.look.accent, chip_over_spot ? 255 : 170);
        draw_text_centred(c, x, y - 16, "PLACE", 2, ink);
        draw_text_centred(c, x, y + 4, "BET", 2, ink);
        return;
    }
    draw_stack(c, s, hover.what == region::bet_stack);
}

void draw_message(canvas &c, const state &s) {
    if (s.message_ms == 0) return;
    {
        // Fade out over the last 400 ms.
        const int32_t t = s.message_ms >= 400 ? 256 : int32_t(s.message_ms * 256 / 400);
        const int32_t w = text_width(s.message, 2);
        const rect back{400 - w / 2 - 14, layout::message_y - 5, 400 + w / 2 + 14, layout::message_y + 19};
        c.fill_rounded(back, 12, black, uint8_t(t * 90 / 256));
        draw_text_centred(c, 400, layout::message_y, s.message, 2, mix(s.look.felt, s.look.text, t));
    }
}

void draw_tray(canvas &c, const state &s) {
    const rect tray = layout::tray;
    c.fill_rounded(tray.moved(0, 4), 16, black, 110);
    c.fill_rounded(tray, 16, wood);
    c.fill_rounded(rect{tray.left, tray.top, tray.right, tray.top + 12}, 16, mix(wood, white, 40));
    c.fill_rounded(tray.inset(8), 10, scale(s.look.felt, 120));
    c.fill_rounded(tray.inset(8).moved(0, 2), 10, scale(s.look.felt, 150)); // pocket shading
}

// The chips in the tray: lifted under the pointer, dimmed when too dear.
void draw_tray_chips(canvas &c, const state &s, hit hover) {
    for (int i = 0; i < layout::chip_kinds; ++i) {
        const bool affordable = s.balance >= chip_values[i];
        const bool hovered = affordable && hover.what == region::chip && hover.index == i;
        const int32_t cx = layout::chip_x[i], cy = layout::chip_y - (hovered ? 3 : 0);
        c.fill_disc(cx + 2, layout::chip_y + 3, layout::chip_radius, black, 100);
        if (hovered) c.fill_disc(cx, cy, layout::chip_radius + 3, s.look.accent);
        draw_chip(c, cx, cy, layout::chip_radius, chip_values[i], !affordable, scale(s.look.felt, 150));
    }
}

void draw_chip_in_hand(canvas &c, const state &s) {
    const chip_in_hand &hand = s.hand;
    c.fill_disc(hand.x + 6, hand.y + 9, layout::chip_radius + 2, black, 110);
    draw_chip(c, hand.x, hand.y, layout::chip_radius + 2, hand.value, false, s.look.felt);
}

// ---- the backdrop ------------------------------------------------------------

// Everything that looks the same in every frame until the next load(): the
// felt, the header bar, the title, the two cards with their labels and the
// tray. It is most of a frame's drawing, so it is drawn once into a copy
// (for frames up to 800 x 600) and copied row by row after that. What is
// drawn on top every frame overlaps no part of the backdrop that comes after
// it back to front, so the picture is the one drawing it all in order gives.
void draw_backdrop(canvas &c, const state &s) {
    draw_felt(c, s);
    draw_header_bar(c, s);
    draw_title(c, s);
    draw_player_card(c, s);
    draw_help_panel(c, s);
    draw_tray(c, s);
}

// A static buffer: nothing is allocated, and load() empties it because the
// theme may have changed.
struct backdrop_copy {
    static constexpr int32_t capacity = 800 * 600;
    int32_t width = 0, height = 0; // 0 x 0: empty
    uint8_t planes[3][capacity];
};
backdrop_copy cached_backdrop;

void paint_backdrop(canvas &c, const state &s) {
    backdrop_copy &copy = cached_backdrop;
    if (int64_t(c.width()) * c.height() > backdrop_copy::capacity) {
        draw_backdrop(c, s);
        return;
    }
    if (copy.width != c.width() || copy.height != c.height()) {
        frame_view view{};
        view.width = view.pitch = c.width();
        view.height = c.height();
        for (int p = 0; p < 3; ++p) view.plane[p] = copy.planes[p];
        canvas into(&view);
        draw_backdrop(into, s);
        copy.width = c.width();
        copy.height = c.height();
    }
    for (int p = 0; p < 3; ++p) {
        for (int32_t y = 0; y < c.height(); ++y) {
            std::memcpy(c.row(p, y), copy.planes[p] + int64_t(y) * copy.width, size_t(copy.width));
        }
    }
}

} // namespace

void forget_cached_backdrop() {
    cached_backdrop.width = 0;
    cached_backdrop.height = 0;
}

void render(const state &s, frame_view *frame, int32_t x, int32_t y) {
    canvas c(frame);
    if (!c.usable()) return;
    // While a chip is in hand only the spot reacts to the pointer.
    const hit hover = s.hand.active ? hit{} : hit_test(s, x, y);
    const bool chip_over_spot = s.hand.active && on_spot(s.hand.x, s.hand.y);

    paint_backdrop(c, s);
    draw_header_buttons(c, s, hover);
    for (int i = 0; i < tile_count; ++i) {
        draw_tile(c, s, i, hover.what == region::tile && hover.index == i);
    }
    draw_player_values(c, s, hover);
    draw_spot(c, s, hover, chip_over_spot);
    draw_message(c, s);
    draw_tray_chips(c, s, hover);
    if (s.hand.active) draw_chip_in_hand(c, s);
}

} // namespace lobby
