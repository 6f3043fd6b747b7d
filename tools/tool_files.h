// Small helpers shared by the publisher tools.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "update/sha256.h"

namespace tamber::tools {

// The whole file as bytes; false when it cannot be read.
inline bool read_whole_file(const std::filesystem::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// TAMBER_SHA256_PORTABLE=1 makes the tools hash with the portable
// compression even on CPUs with the SHA extensions, for measurements.
inline void apply_sha256_choice() {
    const char* portable = std::getenv("TAMBER_SHA256_PORTABLE");
    if (portable && std::string(portable) == "1") sha256_force_portable(true);
}

}  // namespace tamber::tools
