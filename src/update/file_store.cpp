#include "update/file_store.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#include <direct.h>
#endif

#include "update/download_log.h"
#include "update/sha256.h"

namespace tamber {

namespace {

constexpr size_t stdio_buffer_size = 64 * 1024;

// Closes the file when its user is done with it, whichever way it ends. A
// caller that needs the close's result takes the file back with release().
struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// The name a new version of `name` is written under: in the same folder, so
// that it can take the old file's place in one step, and with a blank in it,
// which no listed name has (blanks separate the fields of a list). A file
// left there by a process that stopped half-way is overwritten by the next
// write of the same name.
std::string temporary_name(const std::string& name) { return name + " (partial)"; }

// Removes the temporary file on every way out of a write that does not put
// it in place. Made before the file is opened, so that the file is closed
// before it is removed (Windows removes no open file).
struct temporary_file {
    const std::string& name;
    bool placed = false;
    ~temporary_file() {
        if (!placed) std::remove(name.c_str());
    }
};

}  // namespace

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

bool read_small_file(const std::string& name, std::size_t limit, std::string& text, bool& exists) {
    text.clear();
    uint64_t size = 0;
    exists = regular_file_size(name, size);
    if (!exists) {
        // Something that is there but no regular file is not a missing file.
        struct stat status;
        return ::stat(name.c_str(), &status) != 0;
    }
    if (size > limit) return false;
    file_handle file(std::fopen(name.c_str(), "rb"));
    if (!file) return false;
    text.resize(static_cast<std::size_t>(size));
    const std::size_t got = text.empty() ? 0 : std::fread(text.data(), 1, text.size(), file.get());
    return got == text.size() && std::fgetc(file.get()) == EOF && !std::ferror(file.get());
}

bool write_file(std::span<const uint8_t> bytes, const std::string& name) {
    make_directories(parent_path(name));
    const std::string temporary = temporary_name(name);
    temporary_file new_version{temporary};
    errno = 0;
    file_handle file(std::fopen(temporary.c_str(), "wb"));
    if (!file) {
        const int error = errno;
        log_message("Cannot open '%s': error %d: %s", name.c_str(), error, std::strerror(error));
        return false;
    }

    std::size_t written = 0;
    if (!bytes.empty()) written = std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    if (written != bytes.size()) {
        log_message("Write error on '%s': %u bytes have been written instead of %u", name.c_str(),
                    static_cast<unsigned>(written), static_cast<unsigned>(bytes.size()));
        return false;
    }
    // The end of the body is still in stdio's buffer: a full disk or a size
    // limit shows only when it goes out, in the flush or at the latest in the
    // close.
    errno = 0;
    int error = std::fflush(file.get()) == 0 ? 0 : errno;
    if (std::fclose(file.release()) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error != 0) {
        log_message("Write error on '%s': error %d: %s", name.c_str(), error, std::strerror(error));
        return false;
    }

    uint32_t replace_error = 0;
    if (!replace_file(temporary, name, replace_error)) {
        log_message("Cannot replace '%s': error %d", name.c_str(), static_cast<int>(replace_error));
        return false;
    }
    new_version.placed = true;
    return true;
}

bool needs_download(const std::string& name, uint32_t size, const std::string& digest) {
    // A name with a NUL byte would name a different file to the C library.
    if (name.empty() || name.find('\0') != std::string::npos) return true;

    // The status first: a file of the wrong size costs no open and no read.
    // Only a regular file can be current; a directory that happens to be
    // opened for reading reads as empty and must not pass as an empty file.
    // The C runtime's status call reads the name as fopen below does.
    uint64_t local_size = 0;
    if (!regular_file_size(name, local_size) || local_size != size) return true;

    // hash_file reads 4096 bytes at a time; a larger stdio buffer below it
    // turns those into a sixteenth of the system reads. Declared before the
    // file so that it outlives the fclose.
    const std::unique_ptr<char[]> stdio_buffer(new char[stdio_buffer_size]);
    file_handle file(std::fopen(name.c_str(), "rb"));
    if (!file) return true;
    std::setvbuf(file.get(), stdio_buffer.get(), _IOFBF, stdio_buffer_size);
    uint8_t out[32];
    const uint32_t total = hash_file(file.get(), out);
    if (total != size) return true;
    return digest_to_hex(out) != digest;
}

}  // namespace tamber
