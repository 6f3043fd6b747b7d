#include "platform/native/dlopen_library.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tamber::native {

namespace {

constexpr uint32_t error_access_denied = 5;          // ERROR_ACCESS_DENIED
constexpr uint32_t error_proc_not_found = 127;       // ERROR_PROC_NOT_FOUND
constexpr uint32_t error_bad_exe_format = 193;       // ERROR_BAD_EXE_FORMAT
constexpr uint32_t error_filename_too_long = 206;    // ERROR_FILENAME_EXCED_RANGE

// A system error from stat/open, in Windows terms.
uint32_t error_from_errno(int e) {
    switch (e) {
    case EACCES:
    case EPERM:
        return error_access_denied;
    case ENAMETOOLONG:
        return error_filename_too_long;
    default:  // ENOENT, ENOTDIR, ELOOP, ...: there is no such file
        return error_mod_not_found;
    }
}

// True when the file starts with an ELF header of this process's class: the
// only files dlopen could possibly map.
bool has_own_elf_header(const char* path, int& open_errno) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        open_errno = errno;
        return false;
    }
    unsigned char ident[EI_NIDENT] = {};
    const ssize_t n = ::read(fd, ident, sizeof ident);
    ::close(fd);
    constexpr unsigned char own_class = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    return n == static_cast<ssize_t>(sizeof ident) && std::memcmp(ident, ELFMAG, SELFMAG) == 0 &&
           ident[EI_CLASS] == own_class;
}

// Works out why dlopen failed. dlopen reports only text, so the file itself
// is examined: missing, unreadable or not a library of ours. For a file that
// looks right, the message tells a missing dependency from a missing symbol
// (glibc's wording); anything else counts as not loadable.
uint32_t classify_failure(const char* path, const char* message) {
    struct stat st {};
    if (::stat(path, &st) != 0) return error_from_errno(errno);
    if (S_ISDIR(st.st_mode)) return error_access_denied;  // as LoadLibraryA does for a folder
    if (!S_ISREG(st.st_mode)) return error_bad_exe_format;
    int open_errno = 0;
    if (!has_own_elf_header(path, open_errno))
        return open_errno ? error_from_errno(open_errno) : error_bad_exe_format;
    const std::string text = message ? message : "";
    if (text.find("undefined symbol") != std::string::npos) return error_proc_not_found;
    if (text.find("cannot open shared object file") != std::string::npos) return error_mod_not_found;
    return error_bad_exe_format;
}

}  // namespace

void* library_loader::open(const char* path, uint32_t& error) {
    if (!path || *path == '\0') {
        error = error_mod_not_found;
        return nullptr;
    }
    // dlopen looks a name without '/' up in the system's library folders.
    // Game libraries come from the library folder alone, so a relative name
    // is made a path in it.
    std::string resolved = path;
    if (resolved[0] != '/') resolved.insert(0, folder_.empty() ? std::string("./") : folder_ + "/");

    dlerror();  // clear any earlier message
    void* module = dlopen(resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module) {
        error = 0;
        return module;
    }
    error = classify_failure(resolved.c_str(), dlerror());
    return nullptr;
}

void* library_loader::symbol(void* module, const char* name) { return dlsym(module, name); }

void library_loader::close(void* module) { dlclose(module); }

}  // namespace tamber::native
