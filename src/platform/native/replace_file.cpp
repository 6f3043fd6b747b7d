// The store's last step of a write on POSIX systems: rename puts the
// finished temporary file in the old file's place in one step, so the name
// always holds one whole version. Compiled into the core.
#include <cerrno>
#include <cstdio>
#include <string>

#include "update/file_store.h"

namespace tamber {

bool replace_file(const std::string& source, const std::string& target, uint32_t& error) {
    errno = 0;
    if (std::rename(source.c_str(), target.c_str()) == 0) return true;
    error = static_cast<uint32_t>(errno);
    return false;
}

}  // namespace tamber
