#include "assets.h"

#include <cstdio>
#include <cstring>

namespace lobby {
namespace {

void copy_text(char *to, size_t capacity, const char *from, size_t length) {
    if (length >= capacity) length = capacity - 1;
    std::memcpy(to, from, length);
    to[length] = '\0';
}

bool is_space(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
}

int hex_digit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// "#RRGGBB"
bool parse_colour(const char *value, size_t length, colour &out) {
    if (length != 7 || value[0] != '#') return false;
    uint32_t hex = 0;
    for (size_t i = 1; i < 7; ++i) {
        const int d = hex_digit(value[i]);
        if (d < 0) return false;
        hex = hex * 16 + uint32_t(d);
    }
    out = rgb(hex);
    return true;
}

// A whole number from 0 to 1,000,000,000.
bool parse_amount(const char *value, size_t length, int32_t &out) {
    if (length == 0 || length > 10) return false;
    int64_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
        n = n * 10 + (value[i] - '0');
    }
    if (n > 1000000000) return false;
    out = int32_t(n);
    return true;
}

// Only characters the font can draw go into names.
bool printable(const char *value, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (value[i] < 32 || value[i] > 126) return false;
    }
    return true;
}

bool key_is(const char *key, size_t length, const char *name) {
    return std::strlen(name) == length && std::memcmp(key, name, length) == 0;
}

void apply_line(const char *line, size_t length, theme &t) {
    size_t i = 0;
    while (i < length && is_space(line[i])) ++i;
    if (i == length || line[i] == '#') return; // blank or comment
    const char *key = line + i;
    while (i < length && !is_space(line[i])) ++i;
    const size_t key_length = size_t(line + i - key);
    while (i < length && is_space(line[i])) ++i;
    // The value runs to the end of the line, trailing blanks removed, so
    // names may contain spaces.
    size_t end = length;
    while (end > i && is_space(line[end - 1])) --end;
    const char *value = line + i;
    const size_t value_length = end - i;
    if (value_length == 0) return;

    struct colour_key {
        const char *name;
        colour theme::*field;
    };
    static const colour_key colours[] = {
        {"felt", &theme::felt},   {"header", &theme::header}, {"accent", &theme::accent},
        {"panel", &theme::panel}, {"text", &theme::text},
    };
    for (const colour_key &k : colours) {
        if (key_is(key, key_length, k.name)) {
            parse_colour(value, value_length, t.*k.field);
            return;
        }
    }
    if (key_is(key, key_length, "balance")) {
        parse_amount(value, value_length, t.start_balance);
        return;
    }
    if (!printable(value, value_length)) return;
    if (key_is(key, key_length, "name")) {
        copy_text(t.casino_name, sizeof t.casino_name, value, value_length);
        return;
    }
    // game1 .. game3 and note1 .. note3
    if (key_length == 5 && key[4] >= '1' && key[4] < '1' + tile_count) {
        const int index = key[4] - '1';
        if (std::memcmp(key, "game", 4) == 0) {
            copy_text(t.tile_names[index], sizeof t.tile_names[index], value, value_length);
        } else if (std::memcmp(key, "note", 4) == 0) {
            copy_text(t.tile_notes[index], sizeof t.tile_notes[index], value, value_length);
        }
    }
}

uint32_t read_u16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t read_u32(const uint8_t *p) { return read_u16(p) | read_u16(p + 2) << 16; }

// Big enough for the largest picture decode_bmp accepts, rows padded.
constexpr size_t max_bmp_bytes = 54 + 1024 + size_t(max_image_pixels) * 3 + 4 * max_image_side;
uint8_t file_buffer[max_bmp_bytes];

// Reads a whole small file into file_buffer; returns the length, or -1.
long read_small_file(const char *path) {
    FILE *file = std::fopen(path, "rb");
    if (!file) return -1;
    const size_t n = std::fread(file_buffer, 1, sizeof file_buffer, file);
    // A file that fills the buffer may be longer: too big to be ours.
    const bool too_big = n == sizeof file_buffer && std::fgetc(file) != EOF;
    std::fclose(file);
    return too_big ? -1 : long(n);
}

} // namespace

theme default_theme() {
    theme t{};
    copy_text(t.casino_name, sizeof t.casino_name, "TAMBER CASINO", 13);
    const char *names[tile_count] = {"Roulette", "Blackjack", "Slots"};
    const char *notes[tile_count] = {"European wheel", "Beat the dealer", "Three reels"};
    for (int i = 0; i < tile_count; ++i) {
        copy_text(t.tile_names[i], sizeof t.tile_names[i], names[i], std::strlen(names[i]));
        copy_text(t.tile_notes[i], sizeof t.tile_notes[i], notes[i], std::strlen(notes[i]));
    }
    t.felt = rgb(0x0F5A34);
    t.header = rgb(0x3B0E16);
    t.accent = rgb(0xE3B341);
    t.panel = rgb(0x12261C);
    t.text = rgb(0xF4EEDC);
    t.start_balance = 1000;
    return t;
}

void parse_theme(const char *text, size_t length, theme &t) {
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && text[end] != '\n') ++end;
        apply_line(text + start, end - start, t);
        start = end + 1;
    }
}

bool load_theme(const char *path, theme &t) {
    const long n = read_small_file(path);
    if (n < 0) return false;
    parse_theme(reinterpret_cast<const char *>(file_buffer), size_t(n), t);
    return true;
}

bool decode_bmp(const uint8_t *data, size_t size, image &out) {
    out.width = 0;
    out.height = 0;
    // BITMAPFILEHEADER (14 bytes) then at least a 40-byte BITMAPINFOHEADER.
    if (data == nullptr || size < 54 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t pixel_offset = read_u32(data + 10);
    const uint32_t header_size = read_u32(data + 14);
    const int32_t width = int32_t(read_u32(data + 18));
    const int32_t raw_height = int32_t(read_u32(data + 22));
    const uint32_t planes = read_u16(data + 26);
    const uint32_t bits = read_u16(data + 28);
    const uint32_t compression = read_u32(data + 30);
    if (header_size < 40 || planes != 1 || bits != 24 || compression != 0) return false;
    if (raw_height == INT32_MIN) return false;
    const bool top_down = raw_height < 0;
    const int32_t height = top_down ? -raw_height : raw_height;
    if (width <= 0 || height <= 0 || width > max_image_side || height > max_image_side) return false;
    if (int64_t(width) * height > max_image_pixels) return false;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (pixel_offset < 54 || pixel_offset > size || (size - pixel_offset) / stride < size_t(height)) {
        return false;
    }
    for (int32_t y = 0; y < height; ++y) {
        const int32_t stored_row = top_down ? y : height - 1 - y;
        const uint8_t *src = data + pixel_offset + size_t(stored_row) * stride;
        for (int32_t x = 0; x < width; ++x) {
            // Stored blue, green, red.
            out.pixels[y * width + x] = colour{src[3 * x + 2], src[3 * x + 1], src[3 * x]};
        }
    }
    out.width = width;
    out.height = height;
    return true;
}

bool load_bmp(const char *path, image &out) {
    out.width = 0;
    out.height = 0;
    const long n = read_small_file(path);
    return n >= 0 && decode_bmp(file_buffer, size_t(n), out);
}

} // namespace lobby
