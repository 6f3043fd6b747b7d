#include "update/file_store.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <direct.h>
#endif

#include "update/download_log.h"

namespace tamber {

std::string parent_path(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return std::string(path.substr(0, slash));
}

bool regular_file_size(const std::string& name, uint64_t& size) {
#if defined(_WIN32)
    // The 64-bit status: a file past 2 GiB still reports its size.
    struct _stat64 status;
    if (_stat64(name.c_str(), &status) != 0) return false;
#else
    struct stat status;
    if (::stat(name.c_str(), &status) != 0) return false;
#endif
    if ((status.st_mode & S_IFMT) != S_IFREG || status.st_size < 0) return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}

void make_directories(const std::string& path) {
    if (path.empty()) return;
    make_directories(parent_path(path));
    // A directory that exists already, or cannot be made, is passed over:
    // the open of the file then reports the failure.
#if defined(_WIN32)
    (void)_mkdir(path.c_str());
#else
    (void)::mkdir(path.c_str(), 0777);
#endif
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
