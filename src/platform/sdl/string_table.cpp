#include "platform/sdl/string_table.h"

#include <SDL.h>

#include <cstdio>

#include "resources/resource_ids.h"
#include "shell/messages.h"

namespace tamber::sdl {

std::string string_utf8(uint32_t id, uint32_t code) {
    const std::u16string text = fill_error_code(string_text(id), code);
    // The terminating zero is converted too: SDL does not always end its
    // result with one of its own.
    char* converted = SDL_iconv_string("UTF-8", "UTF-16LE", reinterpret_cast<const char*>(text.c_str()),
                                       (text.size() + 1) * sizeof(char16_t));
    if (!converted) return {};
    std::string out(converted);
    SDL_free(converted);
    return out;
}

void show_string(SDL_Window* window, uint32_t id, uint32_t code) {
    const std::string shown = string_utf8(id, code);
    std::fprintf(stderr, "tamber: %s\n", shown.c_str());
    const std::string title = string_utf8(IDS_TITLE);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), shown.c_str(), window);
}

}  // namespace tamber::sdl
