// The string table of quillon.exe's resource script (shell/string_table.h)
// in tamber's messages: as UTF-8, and in SDL's message box.
#pragma once

#include <cstdint>
#include <string>

#include "shell/string_table.h"

struct SDL_Window;

namespace tamber::sdl {

using tamber::string_text;

// String `id` as UTF-8 for SDL, with its error-code placeholder filled in
// by the shell's own rule (shell/messages.h).
std::string string_utf8(uint32_t id, uint32_t code = 0);

// String `id` (with `code` filled in) in a message box owned by `window`
// (which may be null), and on standard error, since a headless run has no
// screen to show it on.
void show_string(SDL_Window* window, uint32_t id, uint32_t code = 0);

}  // namespace tamber::sdl
