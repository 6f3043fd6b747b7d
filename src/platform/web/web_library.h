// Game libraries in the browser: WebAssembly side modules, mapped from the
// store. Chromium will not compile a module of more than a few kilobytes
// synchronously on the page's thread, so prepare() starts compiling and
// instantiating it asynchronously (web_host.js, through the dynamic
// linker's own loader reading the store's file) and says false until that
// has settled; open() then binds the mapped module with dlopen at once.
// Entry points are found by their plain names, as on the 64-bit host.
//
// Failures carry the Windows system error codes the core expects from
// LoadLibraryA, so that a failed load reads the same on every build:
//   126 ERROR_MOD_NOT_FOUND   the store has no such file
//   193 ERROR_BAD_EXE_FORMAT  the file is not a WebAssembly side module
//                             the host can link (its reason, for example a
//                             function the host does not export, is on the
//                             console)
#pragma once

#include <string>

#include "applet/library.h"

namespace tamber::web {

class library_loader final : public tamber::library_loader {
public:
    // The folder relative names are taken in: the store.
    void set_folder(std::string folder) { folder_ = std::move(folder); }

    bool prepare(const char* path) override;
    void* open(const char* path, uint32_t& error) override;
    void* symbol(void* module, const char* name) override;
    void close(void* module) override;

private:
    std::string full_path(const char* path) const;

    std::string folder_;
};

}  // namespace tamber::web
