// The lobby: its state, its layout and what it does with input.
//
// The exported entry points (entry_points.cpp) are thin: each forwards to a
// function here, on the one lobby `the_lobby()`. Drawing is in render.cpp,
// the chip that follows the mouse during a drag in chip_drag.cpp.
//
// Money: `balance` is what the player holds; chips on the betting spot are
// `stack`, and a chip being dragged belongs to neither until it is dropped
// (`hand`). So balance + bet + chip in hand is constant while the player
// moves chips about.
#pragma once

#include <cstdint>

#include "assets.h"
#include "canvas.h"
#include "tamber_applet.h"

namespace lobby {

// ---- layout (pixels of the 800 x 600 frame; smaller frames are clipped) ---

namespace layout {
constexpr rect header{0, 0, 800, 72};
constexpr rect fullscreen_button{544, 20, 684, 52};
constexpr rect quit_button{696, 20, 776, 52};
constexpr rect tiles[tile_count] = {
    {70, 118, 270, 292},
    {300, 118, 500, 292},
    {530, 118, 730, 292},
};
constexpr int32_t icon_size = 64; // each game's picture in icons.bmp
constexpr rect player_panel{40, 310, 300, 462};
constexpr rect name_field{56, 336, 284, 368};
constexpr rect help_panel{500, 310, 760, 462};
constexpr int32_t spot_x = 400, spot_y = 388, spot_radius = 62;
constexpr rect tray{190, 500, 610, 590};
constexpr int chip_kinds = 5;
constexpr int32_t chip_radius = 30;
constexpr int32_t chip_y = 545;
constexpr int32_t chip_x[chip_kinds] = {248, 324, 400, 476, 552};
constexpr int32_t message_y = 474;
} // namespace layout

constexpr int32_t chip_values[layout::chip_kinds] = {1, 5, 25, 100, 500};
constexpr int max_stack = 40;        // chips on the spot ("table limit")
constexpr int max_name_length = 16;  // characters in the player's name
constexpr int max_message_length = 64;
constexpr uint32_t flash_duration_ms = 450; // a used tile or button lights up

// Press decisions (applet_mouse_down); the SDK names 0, 1 and 2. Any other
// value ends the press with no further call.
constexpr int32_t press_click = TAMBER_PRESS_CLICK;
constexpr int32_t press_drag = TAMBER_PRESS_DRAG;
constexpr int32_t press_hold = TAMBER_PRESS_HOLD;
constexpr int32_t press_ignore = 3;

// Windows virtual-key codes and window messages the lobby uses.
constexpr uint32_t vk_return = 0x0D, vk_escape = 0x1B, vk_home = 0x24, vk_end = 0x23;
constexpr uint32_t vk_left = 0x25, vk_up = 0x26, vk_right = 0x27, vk_down = 0x28;
constexpr uint32_t wm_close = 0x0010;

// The packet the lobby sends through the host's export on its first frame:
// (packet_hello, TAMBER_APPLET_VERSION). The host hands it straight back to
// applet_send_packet, which ignores it.
constexpr uint32_t packet_hello = 1;

// ---- what is under the mouse -----------------------------------------------

enum class region {
    none,       // bare felt
    tile,       // a game tile; index = game
    fullscreen, // the "Fullscreen" button
    quit,       // the "Quit" button
    name_field, // the player-name box
    chip,       // a chip in the tray; index = kind
    bet_spot,   // the empty betting spot
    bet_stack,  // the chips on the betting spot
};

struct hit {
    region what = region::none;
    int index = 0;
};

// ---- state -----------------------------------------------------------------

struct chip_in_hand {
    enum class origin { tray, spot };
    bool active = false;
    int32_t value = 0;
    origin from = origin::tray;
    int32_t x = 0, y = 0; // where it is drawn: the pointer position
};

struct state {
    theme look{};
    bool have_icons = false, have_felt = false;
    tamber_handle window = nullptr; // the host's main window, from applet_load

    int32_t balance = 0;
    int32_t stack[max_stack] = {}; // chip values, bottom first
    int stack_count = 0;
    chip_in_hand hand{};

    int selected_tile = 0;          // keyboard selection
    hit flash{};                    // the tile or button that was just used
    uint32_t flash_ms = 0;          // time left of its flash
    char message[max_message_length + 1] = {};
    uint32_t message_ms = 0;        // time left to show it
    char name[max_name_length + 1] = {};
    int name_length = 0;
    uint32_t clock_ms = 0;          // time since load, for blinking

    char server_path[128] = {};
    int32_t application_type = 0;
    // The host's export, looked up at load and used once, on the first
    // frame; null afterwards (and when the host has none).
    tamber_host_send_packet_fn host_send_packet = nullptr;

    int32_t bet() const;
};

state &the_lobby();
// The two pictures, kept apart from `state` because of their size.
image &icons_image();
image &felt_image();

// Starts afresh: defaults, then the assets in the working directory.
void load(state &s, tamber_handle window);
// Forgets everything (the library is about to be unmapped).
void unload(state &s);

hit hit_test(const state &s, int32_t x, int32_t y);
bool on_spot(int32_t x, int32_t y);
tamber_handle cursor_at(const state &s, int32_t x, int32_t y);

void advance(state &s, uint32_t elapsed_ms);
int32_t press(state &s, int32_t button, int32_t x, int32_t y, int32_t double_click);
void click(state &s, int32_t button, int32_t x, int32_t y, int32_t double_click);
void wheel(state &s, int32_t delta);
void key(state &s, uint32_t vk, bool repeat);
void character(state &s, uint32_t code_unit);

// The chip in hand. A drag takes one from the tray (paid from the balance)
// or off the top of the stack; chip_drag.cpp moves, drops or cancels it.
bool take_from_tray(state &s, int kind, int32_t x, int32_t y);
bool take_from_stack(state &s, int32_t x, int32_t y);
void move_chip(state &s, int32_t x, int32_t y);
void drop_chip(state &s, int32_t x, int32_t y);
void cancel_chip(state &s);

// Returns the drag object for a drag starting at (x, y), or null.
drag_operation *start_drag(state &s, int32_t button, int32_t x, int32_t y);
// The drag object's own cursor rule, also used by render for the spot glow.
tamber_handle drag_cursor_at(int32_t x, int32_t y);

void show_message(state &s, const char *text);
// "$1,234"
void format_money(char *out, int capacity, int64_t amount);

void render(const state &s, frame_view *frame, int32_t x, int32_t y);
// Drops the pre-drawn backdrop (render.cpp), so the next frame draws it anew.
void forget_cached_backdrop();

} // namespace lobby
