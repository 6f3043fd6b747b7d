#include "platform/sdl/sdl_events.h"

#include "shell/window_procedure.h"

namespace tamber::sdl {

namespace {

struct key_code {
    SDL_Keycode key;
    uint32_t vk;
};

// Keys whose virtual-key code is not their character.
constexpr key_code special_keys[] = {
    {SDLK_BACKSPACE, 0x08},   {SDLK_TAB, 0x09},          {SDLK_RETURN, 0x0D},      {SDLK_KP_ENTER, 0x0D},
    {SDLK_LSHIFT, 0x10},      {SDLK_RSHIFT, 0x10},       {SDLK_LCTRL, 0x11},       {SDLK_RCTRL, 0x11},
    {SDLK_LALT, 0x12},        {SDLK_RALT, 0x12},         {SDLK_PAUSE, 0x13},       {SDLK_CAPSLOCK, 0x14},
    {SDLK_ESCAPE, 0x1B},      {SDLK_SPACE, 0x20},        {SDLK_PAGEUP, 0x21},      {SDLK_PAGEDOWN, 0x22},
    {SDLK_END, 0x23},         {SDLK_HOME, 0x24},         {SDLK_LEFT, 0x25},        {SDLK_UP, 0x26},
    {SDLK_RIGHT, 0x27},       {SDLK_DOWN, 0x28},         {SDLK_PRINTSCREEN, 0x2C}, {SDLK_INSERT, 0x2D},
    {SDLK_DELETE, 0x2E},      {SDLK_LGUI, 0x5B},         {SDLK_RGUI, 0x5C},        {SDLK_APPLICATION, 0x5D},
    {SDLK_KP_MULTIPLY, 0x6A}, {SDLK_KP_PLUS, 0x6B},      {SDLK_KP_MINUS, 0x6D},    {SDLK_KP_PERIOD, 0x6E},
    {SDLK_KP_DIVIDE, 0x6F},   {SDLK_NUMLOCKCLEAR, 0x90}, {SDLK_SCROLLLOCK, 0x91},  {SDLK_SEMICOLON, 0xBA},
    {SDLK_EQUALS, 0xBB},      {SDLK_COMMA, 0xBC},        {SDLK_MINUS, 0xBD},       {SDLK_PERIOD, 0xBE},
    {SDLK_SLASH, 0xBF},       {SDLK_BACKQUOTE, 0xC0},    {SDLK_LEFTBRACKET, 0xDB}, {SDLK_BACKSLASH, 0xDC},
    {SDLK_RIGHTBRACKET, 0xDD}, {SDLK_QUOTE, 0xDE},
};

constexpr SDL_Keycode keypad_digits[] = {SDLK_KP_0, SDLK_KP_1, SDLK_KP_2, SDLK_KP_3, SDLK_KP_4,
                                         SDLK_KP_5, SDLK_KP_6, SDLK_KP_7, SDLK_KP_8, SDLK_KP_9};

// 0 left, 1 right, 2 middle: the order of the WM_xBUTTON message numbers.
int32_t button_index(uint8_t button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    default:
        return -1;
    }
}

void translate_key(const SDL_KeyboardEvent& key, std::vector<window_message>& out) {
    key_messages({virtual_key(key.keysym.sym), key.type == SDL_KEYDOWN, key.repeat != 0,
                  (key.keysym.mod & KMOD_ALT) != 0, (key.keysym.mod & KMOD_CTRL) != 0},
                 out);
}

}  // namespace

uint32_t virtual_key(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint32_t>(key - SDLK_a) + 'A';
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint32_t>(key);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + static_cast<uint32_t>(key - SDLK_F1);
    if (key >= SDLK_F13 && key <= SDLK_F24) return 0x7C + static_cast<uint32_t>(key - SDLK_F13);
    for (uint32_t i = 0; i < 10; ++i)
        if (key == keypad_digits[i]) return 0x60 + i;
    for (const key_code& k : special_keys)
        if (k.key == key) return k.vk;
    return 0;
}

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t length = 1;
        uint32_t min = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07, min = 0x10000;
        } else {
            length = 0;  // a stray continuation byte or an invalid lead
        }
        if (length > 1) {
            size_t n = 1;
            while (n < length && i + n < text.size() && (static_cast<uint8_t>(text[i + n]) & 0xC0) == 0x80) {
                cp = (cp << 6) | (static_cast<uint8_t>(text[i + n]) & 0x3F);
                ++n;
            }
            // Truncated, overlong, surrogate or out of range: one U+FFFD for
            // the bytes read.
            if (n < length || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
            length = n;
        } else if (length == 0) {
            cp = 0xFFFD;
            length = 1;
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::vector<window_message> translate_event(const SDL_Event& event, input_state& state) {
    std::vector<window_message> out;
    switch (event.type) {
    case SDL_MOUSEMOTION:
        state.x = event.motion.x;
        state.y = event.motion.y;
        out.push_back({wm::mouse_move, state.buttons, pack_point(state.x, state.y)});
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int32_t index = button_index(event.button.button);
        if (index < 0) break;
        state.x = event.button.x;
        state.y = event.button.y;
        const auto button = static_cast<mouse_button>(index);
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        if (down)
            state.buttons |= button_flag(button);
        else
            state.buttons &= ~button_flag(button);
        out.push_back(button_message(button, down, event.button.clicks, state.buttons, state.x, state.y));
        break;
    }
    case SDL_MOUSEWHEEL: {
        int32_t notches = event.wheel.y;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        if (notches == 0) break;
        out.push_back(wheel_message(notches, state.buttons, state.x, state.y));
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        translate_key(event.key, out);
        break;
    case SDL_TEXTINPUT:
        for (const char16_t unit : utf16_from_utf8(event.text.text)) out.push_back({wm::character, unit, 1});
        break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            out.push_back({extra_wm::set_focus, 0, 0});
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            out.push_back({extra_wm::kill_focus, 0, 0});
            out.push_back({wm::cancel_mode, 0, 0});
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            out.push_back({wm::paint, 0, 0});
            break;
        case SDL_WINDOWEVENT_CLOSE:
            out.push_back({wm::close, 0, 0});
            break;
        default:
            break;
        }
        break;
    case SDL_QUIT:
        out.push_back({wm::close, 0, 0});
        break;
    default:
        break;
    }
    return out;
}

}  // namespace tamber::sdl
