// The lobby's answers to the mouse and keyboard, driven through its entry
// points in the order the host calls them.
#include <climits>
#include <cstring>

#include "lobby_test_support.h"

namespace lobby_test {
namespace {

using lobby_input = lobby_fixture;

TEST_F(lobby_input, cursor_shows_what_can_be_used) {
    struct {
        const char *what;
        at::point p;
        tamber_handle cursor;
    } cases[] = {
        {"tile 0", at::tile[0], hand_cursor()},
        {"tile 2", at::tile[2], hand_cursor()},
        {"fullscreen", at::fullscreen, hand_cursor()},
        {"quit", at::quit, hand_cursor()},
        {"chip", at::chip[4], hand_cursor()},
        {"name field", at::name_field, text_cursor()},
        {"empty spot", at::spot, nullptr},
        {"felt", at::felt, nullptr},
        {"header, left of the buttons", {400, 36}, nullptr},
        {"outside, top left", {-1, -1}, nullptr},
        {"outside, far right", {800, 300}, nullptr},
        {"extremes", {INT32_MIN, INT32_MAX}, nullptr},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(applet_get_cursor(c.p.x, c.p.y), c.cursor) << c.what;
    }
    // Edges: a tile's rectangle includes its left/top and excludes right/bottom.
    EXPECT_EQ(applet_get_cursor(70, 118), hand_cursor());
    EXPECT_EQ(applet_get_cursor(69, 118), nullptr);
    EXPECT_EQ(applet_get_cursor(270, 200), nullptr);
    // The stack is a handle only once there is one.
    bet(2);
    EXPECT_EQ(applet_get_cursor(at::spot.x, at::spot.y), hand_cursor());
}

TEST_F(lobby_input, press_decisions_per_region) {
    struct {
        const char *what;
        int32_t button;
        at::point p;
        int32_t decision;
    } cases[] = {
        {"tile", 0, at::tile[1], TAMBER_PRESS_CLICK},
        {"fullscreen", 0, at::fullscreen, TAMBER_PRESS_CLICK},
        {"quit", 0, at::quit, TAMBER_PRESS_CLICK},
        {"name field", 0, at::name_field, TAMBER_PRESS_CLICK},
        {"empty spot", 0, at::spot, TAMBER_PRESS_CLICK},
        {"affordable chip", 0, at::chip[3], TAMBER_PRESS_DRAG},
        {"felt", 0, at::felt, 3},
        {"right button on a tile", 1, at::tile[1], 3},
        {"middle button on a chip", 2, at::chip[0], 3},
        {"far outside", 0, {-100000, 100000}, 3},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(applet_mouse_down(c.button, c.p.x, c.p.y, 0), c.decision) << c.what;
    }
    bet(0);
    EXPECT_EQ(applet_mouse_down(0, at::spot.x, at::spot.y, 0), TAMBER_PRESS_HOLD) << "stack";
    EXPECT_EQ(applet_mouse_down(0, at::spot.x, at::spot.y, 1), TAMBER_PRESS_HOLD) << "stack, double click";
}

TEST_F(lobby_input, chips_the_player_cannot_pay_for_are_clicked_not_dragged) {
    bet(4); // 500
    bet(4); // 500: the default balance of 1000 is all on the spot
    ASSERT_EQ(applet_get_balance(), 0);
    EXPECT_EQ(applet_mouse_down(0, at::chip[0].x, at::chip[0].y, 0), TAMBER_PRESS_CLICK);
    EXPECT_EQ(applet_get_cursor(at::chip[0].x, at::chip[0].y), nullptr);
    EXPECT_EQ(applet_mouse_drag(0, at::chip[0].x, at::chip[0].y), nullptr);
    applet_mouse_click(0, at::chip[4].x, at::chip[4].y, 0);
    EXPECT_STREQ(lobby_state().message, "Not enough balance for a $500 chip");
}

TEST_F(lobby_input, chip_dropped_on_the_spot_becomes_the_bet) {
    drag_operation *d = pick_up(2); // 25
    ASSERT_NE(d, nullptr);
    // While the chip is in hand it is neither balance nor bet.
    EXPECT_EQ(applet_get_balance(), 975);
    EXPECT_EQ(lobby_state().bet(), 0);
    d->vtbl->move(d, 300, 450);
    EXPECT_EQ(d->vtbl->get_cursor(d, 300, 450), nullptr);
    d->vtbl->move(d, at::spot.x + 20, at::spot.y - 10);
    EXPECT_EQ(d->vtbl->get_cursor(d, at::spot.x + 20, at::spot.y - 10), hand_cursor());
    release_at(d, at::spot.x + 20, at::spot.y - 10);
    EXPECT_EQ(applet_get_balance(), 975);
    EXPECT_EQ(lobby_state().bet(), 25);
    EXPECT_FALSE(lobby_state().hand.active);

    bet(1);
    bet(3);
    EXPECT_EQ(applet_get_balance(), 870);
    EXPECT_EQ(lobby_state().bet(), 130);
    EXPECT_STREQ(lobby_state().message, "$100 on the spot - your bet is $130");
}

TEST_F(lobby_input, chip_dropped_elsewhere_goes_back) {
    drag_operation *d = pick_up(4);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(applet_get_balance(), 500);
    release_at(d, 40, 580);
    EXPECT_EQ(applet_get_balance(), 1000);
    EXPECT_EQ(lobby_state().bet(), 0);

    // A chip dragged off the stack and dropped on the felt returns to the
    // balance too.
    bet(2);
    bet(1);
    ASSERT_EQ(applet_mouse_down(0, at::spot.x, at::spot.y, 0), TAMBER_PRESS_HOLD);
    d = applet_mouse_drag(0, at::spot.x, at::spot.y);
    ASSERT_NE(d, nullptr);
    d->vtbl->AddRef(d);
    d->vtbl->begin(d, at::spot.x, at::spot.y);
    EXPECT_EQ(lobby_state().bet(), 25) << "the top chip (5) is in hand";
    release_at(d, at::felt.x, at::felt.y);
    EXPECT_EQ(applet_get_balance(), 975);
    EXPECT_EQ(lobby_state().bet(), 25);
}

TEST_F(lobby_input, cancel_puts_everything_back) {
    // From the tray.
    drag_operation *d = pick_up(3);
    ASSERT_NE(d, nullptr);
    d->vtbl->move(d, at::spot.x, at::spot.y);
    escape(d);
    EXPECT_EQ(applet_get_balance(), 1000);
    EXPECT_EQ(lobby_state().bet(), 0);
    EXPECT_FALSE(lobby_state().hand.active);
    EXPECT_STREQ(lobby_state().message, "Drag cancelled");

    // From the stack: the chip returns to the spot, not to the balance.
    bet(0);
    bet(2);
    ASSERT_EQ(applet_mouse_down(0, at::spot.x, at::spot.y, 0), TAMBER_PRESS_HOLD);
    d = applet_mouse_drag(0, at::spot.x + 5, at::spot.y + 5);
    ASSERT_NE(d, nullptr);
    d->vtbl->AddRef(d);
    d->vtbl->begin(d, at::spot.x + 5, at::spot.y + 5);
    d->vtbl->move(d, 100, 100);
    escape(d);
    EXPECT_EQ(applet_get_balance(), 974);
    EXPECT_EQ(lobby_state().bet(), 26);
    ASSERT_EQ(lobby_state().stack_count, 2);
    EXPECT_EQ(lobby_state().stack[1], 25) << "same chip back on top";
}

TEST_F(lobby_input, held_press_released_is_a_click_that_takes_the_top_chip) {
    bet(2);
    bet(1);
    ASSERT_EQ(applet_mouse_down(0, at::spot.x, at::spot.y, 0), TAMBER_PRESS_HOLD);
    // The host's release of a held press: mouse_click at the press point.
    applet_mouse_click(0, at::spot.x, at::spot.y, 0);
    EXPECT_EQ(applet_get_balance(), 975);
    EXPECT_EQ(lobby_state().bet(), 25);
    EXPECT_STREQ(lobby_state().message, "$5 back to your balance");
    // A double click on the stack arrives as a click at once.
    applet_mouse_click(0, at::spot.x, at::spot.y, 1);
    EXPECT_EQ(applet_get_balance(), 1000);
    EXPECT_EQ(lobby_state().stack_count, 0);
    // Now the spot is empty: a click only explains.
    applet_mouse_click(0, at::spot.x, at::spot.y, 0);
    EXPECT_EQ(applet_get_balance(), 1000);
    EXPECT_STREQ(lobby_state().message, "Drag a chip from the tray onto the spot");
}

TEST_F(lobby_input, drag_object_counts_references) {
    drag_operation *d = applet_mouse_drag(0, at::chip[0].x, at::chip[0].y);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->vtbl->AddRef(d), 2u);
    EXPECT_EQ(d->vtbl->AddRef(d), 3u);
    EXPECT_EQ(d->vtbl->Release(d), 2u);
    void *other = &other;
    EXPECT_EQ(d->vtbl->QueryInterface(d, nullptr, &other), int32_t(0x80004002u));
    EXPECT_EQ(other, nullptr);
    d->vtbl->drop(d, at::spot.x, at::spot.y);
    EXPECT_EQ(d->vtbl->Release(d), 1u) << "the lobby's own reference stays";
    EXPECT_EQ(d->vtbl->Release(d), 1u) << "one release too many changes nothing";
    EXPECT_EQ(lobby_state().bet(), 1);
}

TEST_F(lobby_input, drag_released_without_drop_or_cancel_loses_no_money) {
    drag_operation *d = pick_up(4);
    ASSERT_NE(d, nullptr);
    d->vtbl->Release(d); // the host let go and never said drop or cancel
    EXPECT_FALSE(lobby_state().hand.active);
    EXPECT_EQ(applet_get_balance(), 1000);
}

TEST_F(lobby_input, drags_are_refused_where_there_is_nothing_to_take) {
    EXPECT_EQ(applet_mouse_drag(0, at::felt.x, at::felt.y), nullptr);
    EXPECT_EQ(applet_mouse_drag(0, at::spot.x, at::spot.y), nullptr) << "empty spot";
    EXPECT_EQ(applet_mouse_drag(0, at::tile[0].x, at::tile[0].y), nullptr);
    EXPECT_EQ(applet_mouse_drag(1, at::chip[0].x, at::chip[0].y), nullptr) << "right button";
    drag_operation *d = pick_up(0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(applet_mouse_drag(0, at::chip[1].x, at::chip[1].y), nullptr) << "one chip in hand at a time";
    EXPECT_EQ(applet_get_balance(), 999);
    escape(d);
    EXPECT_EQ(applet_get_balance(), 1000);
}

TEST_F(lobby_input, the_spot_holds_forty_chips) {
    for (int i = 0; i < lobby::max_stack; ++i) bet(0);
    EXPECT_EQ(lobby_state().bet(), 40);
    bet(1);
    EXPECT_EQ(lobby_state().bet(), 40);
    EXPECT_EQ(applet_get_balance(), 960);
    EXPECT_STREQ(lobby_state().message, "Table limit: 40 chips");
}

TEST_F(lobby_input, buttons_post_to_the_host_window) {
    applet_mouse_click(0, at::fullscreen.x, at::fullscreen.y, 0);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].window, test_window());
    EXPECT_EQ(posted[0].message, 0x8003u);
    applet_mouse_click(0, at::quit.x, at::quit.y, 0);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].window, test_window());
    EXPECT_EQ(posted[1].message, 0x0010u);
    // Other buttons, and other mouse buttons on these, post nothing.
    applet_mouse_click(1, at::quit.x, at::quit.y, 0);
    applet_mouse_click(0, at::tile[0].x, at::tile[0].y, 0);
    applet_mouse_click(0, at::felt.x, at::felt.y, 0);
    EXPECT_EQ(posted.size(), 2u);
}

TEST_F(lobby_input, the_first_frame_sends_one_packet_through_the_host_export) {
    // Not during load: the host passes nothing on while a library loads.
    EXPECT_TRUE(sent.empty());
    applet_update(16);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].a, lobby::packet_hello);
    EXPECT_EQ(sent[0].b, uint32_t(TAMBER_APPLET_VERSION));
    applet_update(16);
    EXPECT_EQ(sent.size(), 1u);
    // The host hands it back to applet_send_packet: nothing changes.
    const int32_t balance = applet_get_balance();
    applet_send_packet(sent[0].a, sent[0].b);
    EXPECT_EQ(applet_get_balance(), balance);

    // A program that exports nothing: the lobby runs all the same.
    applet_unload();
    host_exports_send_packet = false;
    ASSERT_EQ(applet_load(nullptr, test_window(), 0), 0);
    applet_update(16);
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(lobby_input, clicking_a_tile_opens_it_with_a_flash) {
    applet_on_wm_char('A');
    applet_on_wm_char('l');
    applet_mouse_click(0, at::tile[2].x, at::tile[2].y, 0);
    EXPECT_EQ(lobby_state().selected_tile, 2);
    EXPECT_STREQ(lobby_state().message, "Opening Slots - good luck, Al!");
    EXPECT_EQ(lobby_state().flash.what, lobby::region::tile);
    EXPECT_EQ(lobby_state().flash_ms, lobby::flash_duration_ms);
    applet_update(200);
    applet_update(5000); // long stalls count as one second
    EXPECT_EQ(lobby_state().flash_ms, 0u);
    EXPECT_EQ(lobby_state().message_ms, 2800u);
}

TEST_F(lobby_input, arrows_move_the_selection_and_enter_opens_it) {
    EXPECT_EQ(lobby_state().selected_tile, 0);
    applet_key_down(lobby::vk_right);
    applet_key_repeat(lobby::vk_right);
    EXPECT_EQ(lobby_state().selected_tile, 2);
    applet_key_repeat(lobby::vk_right);
    EXPECT_EQ(lobby_state().selected_tile, 0) << "wraps around";
    applet_key_down(lobby::vk_left);
    EXPECT_EQ(lobby_state().selected_tile, 2);
    applet_key_down(lobby::vk_home);
    EXPECT_EQ(lobby_state().selected_tile, 0);
    applet_mouse_wheel(0, 0, -120);
    EXPECT_EQ(lobby_state().selected_tile, 1);
    applet_key_up(lobby::vk_right);
    EXPECT_EQ(lobby_state().selected_tile, 1) << "key_up does nothing";

    applet_key_down(lobby::vk_return);
    EXPECT_STREQ(lobby_state().message, "Opening Blackjack - good luck!");
    EXPECT_EQ(lobby_state().flash_ms, lobby::flash_duration_ms);
    applet_update(1000);
    applet_key_repeat(lobby::vk_return);
    EXPECT_EQ(lobby_state().flash_ms, 0u) << "holding Enter opens the game once";
    applet_key_down(lobby::vk_escape);
    EXPECT_EQ(lobby_state().message_ms, 0u);
}

TEST_F(lobby_input, characters_edit_the_name) {
    for (const char *p = "Ada Lovelace"; *p; ++p) applet_on_wm_char(uint32_t(uint8_t(*p)));
    EXPECT_STREQ(lobby_state().name, "Ada Lovelace");
    applet_on_wm_char(8);
    applet_on_wm_char(8);
    EXPECT_STREQ(lobby_state().name, "Ada Lovela");
    // Not typed: control characters, Enter, Escape, anything beyond ASCII.
    for (uint32_t c : {0u, 9u, 13u, 27u, 127u, 0xE9u, 0x20ACu, 0xD83Du, 0xFFFFFFFFu}) applet_on_wm_char(c);
    EXPECT_STREQ(lobby_state().name, "Ada Lovela");
    for (int i = 0; i < 20; ++i) applet_on_wm_char('x');
    EXPECT_EQ(std::strlen(lobby_state().name), size_t(lobby::max_name_length));
    for (int i = 0; i < 30; ++i) applet_on_wm_char(8);
    EXPECT_STREQ(lobby_state().name, "");
    applet_on_wm_char(' ');
    EXPECT_STREQ(lobby_state().name, "") << "no leading blank";
}

TEST_F(lobby_input, any_coordinates_are_safe) {
    const int32_t values[] = {INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 599, 600, 799, 800, 65535, INT32_MAX};
    for (int32_t x : values) {
        for (int32_t y : values) {
            applet_get_cursor(x, y);
            const int32_t decision = applet_mouse_down(0, x, y, 0);
            if (decision == TAMBER_PRESS_CLICK) applet_mouse_click(0, x, y, 0);
            applet_mouse_move(x, y);
            applet_mouse_up(0, x, y);
            applet_mouse_wheel(x, y, INT32_MIN);
            EXPECT_EQ(applet_mouse_drag(0, x, y), nullptr);
        }
    }
    // A chip carried to the extremes, drawn there, and dropped there.
    drag_operation *d = pick_up(1);
    ASSERT_NE(d, nullptr);
    test_frame frame(800, 600, 800, 0);
    const int32_t drawn[] = {INT32_MIN, -65536, -1, 0, 799, 800, INT32_MAX};
    for (int32_t x : drawn) {
        for (int32_t y : drawn) {
            d->vtbl->move(d, x, y);
            d->vtbl->get_cursor(d, x, y);
            applet_render(16, &frame.view, x, y);
        }
    }
    release_at(d, INT32_MAX, INT32_MIN);
    EXPECT_EQ(applet_get_balance(), 1000);
}

TEST_F(lobby_input, load_starts_afresh_and_unload_forgets) {
    bet(3);
    applet_on_wm_char('Z');
    applet_set_server_path("http://127.0.0.1:8642/");
    applet_set_application_type(2);
    EXPECT_STREQ(lobby_state().server_path, "http://127.0.0.1:8642/");
    EXPECT_EQ(lobby_state().application_type, 2);
    applet_unload();
    ASSERT_EQ(applet_load(nullptr, test_window(), 0), 0);
    EXPECT_EQ(applet_get_balance(), 1000);
    EXPECT_EQ(lobby_state().bet(), 0);
    EXPECT_STREQ(lobby_state().name, "");
    EXPECT_STREQ(lobby_state().server_path, "");
    // A server path longer than the lobby keeps is cut, not overrun.
    const std::string long_url = "http://" + std::string(300, 'a') + "/";
    applet_set_server_path(long_url.c_str());
    EXPECT_EQ(std::strlen(lobby_state().server_path), sizeof lobby_state().server_path - 1);
    applet_set_server_path(nullptr);
    EXPECT_STREQ(lobby_state().server_path, "");
}

} // namespace
} // namespace lobby_test
