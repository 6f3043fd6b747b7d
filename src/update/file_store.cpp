#include "update/file_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "update/download_log.h"

namespace tamber {

std::string parent_path(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return std::string(path.substr(0, slash));
}

void make_directories(const std::string& path) {
    if (path.empty()) return;
    make_directories(parent_path(path));
    // A directory that exists already, or cannot be made, is passed over:
    // the open of the file then reports the failure.
    std::error_code ignored;
    std::filesystem::create_directory(std::filesystem::path(path), ignored);
}

bool write_file(std::span<const uint8_t> bytes, const std::string& name) {
    make_directories(parent_path(name));
    errno = 0;
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) {
        const int error = errno;
        log_message("Cannot open '%s': error %d: %s", name.c_str(), error, std::strerror(error));
        return false;
    }
    std::size_t written = 0;
    if (!bytes.empty()) written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (written == bytes.size()) return true;
    log_message("Write error on '%s': %u bytes have been written instead of %u", name.c_str(),
                static_cast<unsigned>(written), static_cast<unsigned>(bytes.size()));
    return false;
}

}  // namespace tamber
