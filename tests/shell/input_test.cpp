// Mouse and keyboard routing: clicks, held presses, drags with their
// reference counting and call order, cancelling, keys and the cursor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input_fakes.h"
#include "shell/input.h"

namespace tamber {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::call_log;
using testing::recording_applet;
using testing::recording_drag;
using testing::recording_window_calls;

cursor_handle const arrow = reinterpret_cast<cursor_handle>(0xA0);
cursor_handle const hand = reinterpret_cast<cursor_handle>(0xB0);
cursor_handle const grab = reinterpret_cast<cursor_handle>(0xC0);

struct input_test : ::testing::Test {
    call_log log;
    recording_applet target{log};
    recording_window_calls calls{log};
    recording_drag drag{log};
    mouse_router mouse{calls, 4, 3, arrow};  // drag distances 4 and 3

    // A press answered "hold" at (100, 100), with a clean log.
    void hold_press() {
        target.press_answer = TAMBER_PRESS_HOLD;
        mouse.button_down(target, 0, 100, 100, 0);
        ASSERT_TRUE(mouse.press_pending());
        log.clear();
    }
    // A drag of `drag` started by the left button at (10, 20), clean log.
    void start_drag() {
        target.press_answer = TAMBER_PRESS_DRAG;
        target.drag = &drag.object;
        mouse.button_down(target, 0, 10, 20, 0);
        ASSERT_TRUE(mouse.dragging());
        log.clear();
    }
};

TEST_F(input_test, a_press_answered_click_is_clicked_at_once) {
    mouse.button_down(target, 1, 5, -7, 0);
    EXPECT_THAT(log, ElementsAre("applet.mouse_down 1 5 -7 0", "applet.mouse_click 1 5 -7 0"));
    mouse.button_up(target, 1, 6, 8);
    EXPECT_EQ(log.back(), "applet.mouse_up 1 6 8");
}

TEST_F(input_test, a_held_press_released_in_place_is_one_click_at_the_press_point_and_no_mouse_up) {
    hold_press();
    mouse.pointer_moved(target, 104, 97);  // within the distances: the applet sees nothing
    mouse.button_up(target, 0, 104, 97);
    EXPECT_THAT(log, ElementsAre("applet.mouse_click 0 100 100 0"));
    EXPECT_FALSE(mouse.press_pending());
}

TEST_F(input_test, a_held_press_released_by_another_button_clicks_with_that_button) {
    hold_press();
    mouse.button_up(target, 2, 1, 1);
    EXPECT_THAT(log, ElementsAre("applet.mouse_click 2 100 100 0"));
}

TEST_F(input_test, a_double_click_answered_hold_is_clicked_at_once) {
    hold_press();
    mouse.button_down(target, 0, 101, 101, 1);
    EXPECT_THAT(log, ElementsAre("applet.mouse_down 0 101 101 1", "applet.mouse_click 0 101 101 1"));
    EXPECT_FALSE(mouse.press_pending());
}

TEST_F(input_test, a_drag_starts_one_pixel_past_the_drag_distance_at_the_press_point) {
    target.drag = &drag.object;
    hold_press();
    mouse.pointer_moved(target, 104, 100);  // exactly the horizontal distance
    mouse.pointer_moved(target, 100, 97);   // exactly the vertical distance
    EXPECT_THAT(log, IsEmpty());
    EXPECT_TRUE(mouse.press_pending());

    mouse.pointer_moved(target, 105, 100);
    EXPECT_THAT(log, ElementsAre("applet.mouse_drag 0 100 100", "drag.AddRef", "SetCapture", "drag.begin 100 100",
                                 "drag.move 105 100"));
    EXPECT_TRUE(mouse.dragging());
    EXPECT_FALSE(mouse.press_pending());
    EXPECT_EQ(drag.references, 2u);
}

TEST_F(input_test, a_declined_drag_after_a_held_press_is_a_move) {
    hold_press();
    mouse.pointer_moved(target, 100, 96);
    EXPECT_THAT(log, ElementsAre("applet.mouse_drag 0 100 100", "applet.mouse_move 100 96"));
    EXPECT_FALSE(mouse.dragging());
    EXPECT_FALSE(mouse.press_pending());
    mouse.button_up(target, 0, 100, 96);
    EXPECT_EQ(log.back(), "applet.mouse_up 0 100 96");
}

TEST_F(input_test, a_drag_without_a_drag_object_and_other_answers_end_the_press) {
    target.press_answer = TAMBER_PRESS_DRAG;
    mouse.button_down(target, 0, 3, 4, 0);
    target.press_answer = 5;
    mouse.button_down(target, 0, 3, 4, 0);
    mouse.button_down(target, 0, 3, 4, 1);
    EXPECT_THAT(log, ElementsAre("applet.mouse_down 0 3 4 0", "applet.mouse_drag 0 3 4", "applet.mouse_down 0 3 4 0",
                                 "applet.mouse_down 0 3 4 1"));
    EXPECT_FALSE(mouse.dragging());
    EXPECT_FALSE(mouse.press_pending());
}

TEST_F(input_test, releasing_the_drag_button_moves_tells_the_applet_drops_and_releases_last) {
    start_drag();
    mouse.pointer_moved(target, 30, 40);
    mouse.button_up(target, 0, 31, 41);
    EXPECT_THAT(log, ElementsAre("drag.move 30 40", "drag.AddRef", "drag.move 31 41", "drag.Release", "ReleaseCapture",
                                 "applet.mouse_move 31 41", "drag.drop 31 41", "drag.Release"));
    EXPECT_EQ(drag.references, 1u);  // only the library's own is left
    EXPECT_FALSE(mouse.dragging());
}

TEST_F(input_test, during_a_drag_presses_wheel_other_buttons_and_keys_reach_nobody_but_key_up_does) {
    start_drag();
    target.press_answer = TAMBER_PRESS_CLICK;
    mouse.button_down(target, 1, 1, 1, 0);
    mouse.button_up(target, 1, 1, 1);  // not the drag button
    mouse.wheel_turned(target, 1, 1, 120);
    mouse.key_pressed(target, 'A', 1, false);
    EXPECT_THAT(log, IsEmpty());
    EXPECT_TRUE(mouse.dragging());
}

TEST_F(input_test, escape_cancels_a_drag_and_reports_the_pointer) {
    start_drag();
    calls.cursor = {7, 8};
    mouse.key_pressed(target, vk_escape, 3, false);
    EXPECT_THAT(log, ElementsAre("drag.cancel", "drag.Release", "ReleaseCapture", "applet.mouse_move 7 8"));
    EXPECT_FALSE(mouse.dragging());
    EXPECT_EQ(drag.references, 1u);
}

TEST_F(input_test, cancelling_without_a_drag_only_reports_the_pointer_and_keeps_a_held_press) {
    hold_press();
    calls.cursor = {-5, 9};
    mouse.cancel_drag(target);
    EXPECT_THAT(log, ElementsAre("applet.mouse_move -5 9"));
    EXPECT_TRUE(mouse.press_pending());
}

TEST_F(input_test, a_repeat_count_of_3_is_one_key_down_or_repeat_and_two_more_repeats) {
    mouse.key_pressed(target, 'Q', 3, false);
    EXPECT_THAT(log, ElementsAre("applet.key_down 81", "applet.key_repeat 81", "applet.key_repeat 81"));
    log.clear();
    mouse.key_pressed(target, 'Q', 3, true);
    EXPECT_THAT(log, ElementsAre("applet.key_repeat 81", "applet.key_repeat 81", "applet.key_repeat 81"));
    log.clear();
    mouse.key_pressed(target, 'Q', 0, false);
    EXPECT_THAT(log, ElementsAre("applet.key_down 81"));
}

TEST_F(input_test, the_cursor_comes_from_the_drag_or_the_applet_or_is_the_arrow) {
    mouse.pointer_moved(target, 1, 1);
    EXPECT_EQ(calls.shown, arrow);
    target.cursor = hand;
    mouse.pointer_moved(target, 1, 1);
    EXPECT_EQ(calls.shown, hand);

    start_drag();
    EXPECT_EQ(calls.shown, arrow);  // the drag names none
    drag.cursor = grab;
    mouse.pointer_moved(target, 2, 2);
    EXPECT_EQ(calls.shown, grab);
    mouse.button_up(target, 0, 2, 2);
    EXPECT_EQ(calls.shown, hand);
}

TEST_F(input_test, an_active_drag_is_released_when_the_router_goes) {
    {
        mouse_router router(calls, 4, 3, arrow);
        target.press_answer = TAMBER_PRESS_DRAG;
        target.drag = &drag.object;
        router.button_down(target, 0, 1, 1, 0);
        EXPECT_EQ(drag.references, 2u);
        log.clear();
    }
    EXPECT_THAT(log, ElementsAre("drag.Release"));
    EXPECT_EQ(drag.references, 1u);
}

TEST_F(input_test, large_coordinates_do_not_overflow_the_distance_test) {
    target.press_answer = TAMBER_PRESS_HOLD;
    mouse.button_down(target, 0, -32768, 0, 0);
    log.clear();
    mouse.pointer_moved(target, 32767, 0);
    EXPECT_THAT(log, ElementsAre("applet.mouse_drag 0 -32768 0", "applet.mouse_move 32767 0"));
}

}  // namespace
}  // namespace tamber
