// Writes a planar frame as an RGB PNG, uncompressed ("stored" deflate
// blocks): a few dozen lines, no zlib needed, good enough for looking at.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tamber_applet.h"

namespace lobby_test {

inline uint32_t crc32_of(const uint8_t *data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline bool write_png(const char *path, const frame_view &view) {
    auto be32 = [](std::vector<uint8_t> &out, uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
    };
    // Raw image: each row starts with filter byte 0, then R G B per pixel.
    std::vector<uint8_t> raw;
    for (int32_t y = 0; y < view.height; ++y) {
        raw.push_back(0);
        for (int32_t x = 0; x < view.width; ++x) {
            const size_t i = size_t(y) * size_t(view.pitch) + size_t(x);
            raw.push_back(view.plane[2][i]);
            raw.push_back(view.plane[1][i]);
            raw.push_back(view.plane[0][i]);
        }
    }
    // zlib stream of stored blocks of at most 65535 bytes, Adler-32 at the end.
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t n = raw.size() - at > 65535 ? 65535 : raw.size() - at;
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
        if (n == 0) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    be32(z, (b << 16) | a);

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char *type, const std::vector<uint8_t> &body) {
        be32(file, uint32_t(body.size()));
        const size_t start = file.size();
        file.insert(file.end(), type, type + 4);
        file.insert(file.end(), body.begin(), body.end());
        be32(file, crc32_of(file.data() + start, file.size() - start));
    };
    std::vector<uint8_t> header;
    be32(header, uint32_t(view.width));
    be32(header, uint32_t(view.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB
    chunk("IHDR", header);
    chunk("IDAT", z);
    chunk("IEND", {});

    FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace lobby_test
