// Assets the lobby reads when it is loaded. The update puts them beside the
// library, in the host's store, which is the working directory:
//
//   lobby/theme.txt   casino name, colours, game names, starting balance
//   lobby/icons.bmp   the three game pictures, side by side (24-bit BMP)
//   lobby/felt.bmp    a tile of felt grain, repeated over the table
//
// Every asset is optional: a missing or malformed file leaves the built-in
// default in place. Images live in fixed buffers (no allocation), so their
// size is capped at max_image_pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "canvas.h"

namespace lobby {

constexpr int tile_count = 3;

struct theme {
    char casino_name[32];
    char tile_names[tile_count][16];
    char tile_notes[tile_count][24]; // one line under each game's name
    colour felt;       // the table
    colour header;     // the bar along the top
    colour accent;     // gold trim, highlights, the betting spot
    colour panel;      // game tiles and text fields
    colour text;       // ordinary text
    int32_t start_balance;
};

// The built-in look, used for everything theme.txt does not set.
theme default_theme();

// Applies "key value" lines to `t` (format in examples/content/lobby/theme.txt).
// Unknown keys and malformed values are skipped; the rest still applies.
void parse_theme(const char *text, size_t length, theme &t);

// Reads the file and applies it; false (and `t` untouched) if it cannot be read.
bool load_theme(const char *path, theme &t);

constexpr int32_t max_image_side = 512;
constexpr int32_t max_image_pixels = 65536;

struct image {
    int32_t width = 0, height = 0; // 0 x 0: not loaded
    colour pixels[max_image_pixels];

    bool loaded() const { return width > 0 && height > 0; }
};

// Decodes an uncompressed 24-bit BMP (BITMAPINFOHEADER or later, rows bottom
// up or top down). Anything else, or a picture over the size caps, gives
// false and an unloaded image.
bool decode_bmp(const uint8_t *data, size_t size, image &out);

// Reads and decodes a BMP file; false and an unloaded image on any failure.
bool load_bmp(const char *path, image &out);

} // namespace lobby
