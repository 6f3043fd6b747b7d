// A minimal PNG writer: 8-bit RGB, no filtering, the image data in stored
// (uncompressed) deflate blocks. Large files, no dependencies. The one every
// host and tool writes pictures with (snapshots, the progress screen's
// pictures, the lobby's).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamber {

// `rgb` holds width * height pixels of three bytes (red, green, blue), rows
// top to bottom. False when the file cannot be written.
bool write_png(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

}  // namespace tamber
