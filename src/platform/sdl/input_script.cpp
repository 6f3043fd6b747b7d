#include "platform/sdl/input_script.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "shell/window_procedure.h"

namespace tamber::sdl {

namespace {

struct named_message {
    const char* name;
    uint32_t message;
};

constexpr named_message names[] = {
    {"paint", wm::paint},
    {"close", wm::close},
    {"cancel_mode", wm::cancel_mode},
    {"set_focus", extra_wm::set_focus},
    {"kill_focus", extra_wm::kill_focus},
    {"key_down", wm::key_down},
    {"key_up", wm::key_up},
    {"character", wm::character},
    {"system_key_down", extra_wm::system_key_down},
    {"system_key_up", extra_wm::system_key_up},
    {"command", wm::command},
    {"mouse_move", wm::mouse_move},
    {"left_button_down", wm::left_button_down},
    {"left_button_up", wm::left_button_up},
    {"left_button_double_click", wm::left_button_double_click},
    {"right_button_down", wm::right_button_down},
    {"right_button_up", wm::right_button_up},
    {"right_button_double_click", wm::right_button_double_click},
    {"middle_button_down", wm::middle_button_down},
    {"middle_button_up", wm::middle_button_up},
    {"middle_button_double_click", wm::middle_button_double_click},
    {"mouse_wheel", wm::mouse_wheel},
    {"lobby", wm::lobby},
    {"toggle_display_mode", wm::toggle_display_mode},
};

bool is_mouse_position_message(uint32_t m) {
    return m >= wm::mouse_move && m <= wm::mouse_wheel;
}

// A whole token as a 64-bit number: decimal or 0x hexadecimal, optionally
// negative; false for anything else (trailing characters, empty, overflow).
bool parse_number(const std::string& token, int64_t& value) {
    if (token.empty()) return false;
    const bool negative = token[0] == '-';
    const std::string digits = negative ? token.substr(1) : token;
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
    const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == digits.c_str() || *end != '\0' || v > 0xFFFFFFFFull) return false;
    value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

std::vector<std::string> tokens_of(std::string_view line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        tokens.emplace_back(line.substr(start, i - start));
    }
    return tokens;
}

}  // namespace

const char* message_name(uint32_t message) {
    for (const named_message& n : names)
        if (n.message == message) return n.name;
    return nullptr;
}

bool parse_input_script(std::string_view text, std::vector<timed_message>& out, std::string& error) {
    out.clear();
    uint32_t line_number = 0;
    uint32_t last_time = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++line_number;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        const std::vector<std::string> t = tokens_of(line);
        if (t.empty()) continue;
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(line_number) + ": " + what;
            return false;
        };
        if (t.size() != 4) return fail("expected <ms> <message> <wParam> <lParam>");

        int64_t time = 0;
        if (!parse_number(t[0], time) || time < 0) return fail("bad time '" + t[0] + "'");
        if (static_cast<uint32_t>(time) < last_time) return fail("time goes back");

        int64_t number = 0;
        uint32_t message = 0;
        bool named = false;
        for (const named_message& n : names)
            if (t[1] == n.name) message = n.message, named = true;
        if (!named) {
            if (!parse_number(t[1], number) || number < 0 || number > 0xFFFF)
                return fail("unknown message '" + t[1] + "'");
            message = static_cast<uint32_t>(number);
        }

        int64_t wparam = 0;
        if (!parse_number(t[2], wparam)) return fail("bad wParam '" + t[2] + "'");

        intptr_t lparam = 0;
        if (const size_t comma = t[3].find(','); comma != std::string::npos) {
            int64_t x = 0, y = 0;
            if (!parse_number(t[3].substr(0, comma), x) || !parse_number(t[3].substr(comma + 1), y) || x < -32768 ||
                x > 32767 || y < -32768 || y > 32767)
                return fail("bad position '" + t[3] + "'");
            lparam = pack_point(static_cast<int32_t>(x), static_cast<int32_t>(y));
        } else {
            int64_t v = 0;
            if (!parse_number(t[3], v)) return fail("bad lParam '" + t[3] + "'");
            lparam = static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(v)));
        }
        last_time = static_cast<uint32_t>(time);
        out.push_back({last_time,
                       {message, static_cast<uintptr_t>(static_cast<uint32_t>(wparam)), lparam}});
    }
    return true;
}

std::string format_input_line(const timed_message& m) {
    char line[160];
    const char* name = message_name(m.message.message);
    char number[16];
    if (!name) {
        std::snprintf(number, sizeof number, "0x%04X", static_cast<unsigned>(m.message.message));
        name = number;
    }
    const auto wparam = static_cast<unsigned>(static_cast<uint32_t>(m.message.wparam));
    const auto lparam = static_cast<uint32_t>(m.message.lparam);
    if (is_mouse_position_message(m.message.message)) {
        const int x = static_cast<int16_t>(lparam & 0xFFFF), y = static_cast<int16_t>(lparam >> 16);
        std::snprintf(line, sizeof line, "%u %s 0x%X %d,%d\n", static_cast<unsigned>(m.time_ms), name, wparam, x, y);
    } else {
        std::snprintf(line, sizeof line, "%u %s 0x%X 0x%X\n", static_cast<unsigned>(m.time_ms), name, wparam,
                      static_cast<unsigned>(lparam));
    }
    return line;
}

}  // namespace tamber::sdl
