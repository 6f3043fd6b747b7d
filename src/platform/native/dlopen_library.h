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

#include "applet/library.h"

namespace tamber::native {

class library_loader final : public tamber::library_loader {
public:
    void* open(const char* path, uint32_t& error) override;
    void* symbol(void* module, const char* name) override;
    void close(void* module) override;
};

}  // namespace tamber::native
