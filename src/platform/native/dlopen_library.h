// dlopen / dlsym / dlclose behind the library seam, for native builds.
//
// Failures are reported with the Windows system error codes the core expects
// from LoadLibraryA, so that a failed load reads the same on every build:
//   126 ERROR_MOD_NOT_FOUND   the file does not exist, or the path is null
//                             or empty (also: a library it depends on
//                             cannot be found)
//   127 ERROR_PROC_NOT_FOUND  a symbol the library imports is missing
//   193 ERROR_BAD_EXE_FORMAT  the file exists but is not a library this
//                             process can load (not ELF, wrong class or
//                             machine, an empty file, ...)
//     5 ERROR_ACCESS_DENIED   the path names a folder, or the file or a
//                             folder on its path cannot be read
//   206 ERROR_FILENAME_EXCED_RANGE  the path is too long
#pragma once

#include <string>
#include <utility>

#include "applet/library.h"

namespace tamber::native {

// Game libraries come from one folder, the store: a relative name is taken
// in it and opened by its full path, never looked up in the system's
// library folders, the program's folder or the current directory. What the
// library links against (DT_NEEDED) the dynamic loader finds: first in the
// folders of LD_LIBRARY_PATH, which only the player's own environment sets;
// then in the library's run path ($ORIGIN, its own folder, for libraries
// built with the SDK); then in the system's library folders. tamber itself
// carries no DT_RPATH (which would be searched for a library without a run
// path of its own), so its own folder is never among them.
class library_loader final : public tamber::library_loader {
public:
    // The folder relative names are taken in (an absolute path). Until it is
    // set, the current directory at the time of each load.
    void set_folder(std::string folder) { folder_ = std::move(folder); }

    void* open(const char* path, uint32_t& error) override;
    void* symbol(void* module, const char* name) override;
    void close(void* module) override;

private:
    std::string folder_;
};

}  // namespace tamber::native
