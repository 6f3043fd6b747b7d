// The string table of quillon.exe's resource script, for tamber's messages:
// the same texts, read from the script when the host is built.
#pragma once

#include <cstdint>
#include <string>

struct SDL_Window;

namespace tamber::sdl {

// String `id`; empty for an id the table has not.
std::u16string string_text(uint32_t id);

// String `id` as UTF-8 for SDL, with its error-code placeholder filled in
// by the shell's own rule (shell/messages.h).
std::string string_utf8(uint32_t id, uint32_t code = 0);

// String `id` (with `code` filled in) in a message box owned by `window`
// (which may be null), and on standard error, since a headless run has no
// screen to show it on.
void show_string(SDL_Window* window, uint32_t id, uint32_t code = 0);

}  // namespace tamber::sdl
