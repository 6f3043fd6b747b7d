// Recorded input: window messages with the time they reached the window
// procedure, as a text file a studio can read, write and keep beside its
// golden images. One message a line:
//
//   <ms> <message> <wParam> <lParam>
//
// <ms> counts from the lobby library's first frame (input before it goes
// to the bootstrap applet, which takes none); the times never go back.
// <message> is a name (mouse_move, left_button_down, key_down, character,
// mouse_wheel, close, ... see message_names) or a number; wParam and lParam
// are numbers (decimal, or hexadecimal with 0x; a leading '-' for a
// negative value), and lParam may also be a client position "x,y" (packed
// as MAKELPARAM, the way mouse messages carry it). '#' starts a comment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sdl/sdl_events.h"

namespace tamber::sdl {

struct timed_message {
    uint32_t time_ms;
    window_message message;
    bool operator==(const timed_message&) const = default;
};

// The message's name in input files, or null for a number without one.
const char* message_name(uint32_t message);

// Parses a whole input file. On a malformed line returns false with
// "line N: <what is wrong>" in `error`; `out` is then unspecified.
bool parse_input_script(std::string_view text, std::vector<timed_message>& out, std::string& error);

// One line of an input file (with its newline) for `m`, mouse positions
// written as "x,y".
std::string format_input_line(const timed_message& m);

}  // namespace tamber::sdl
