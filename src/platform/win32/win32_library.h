// LoadLibraryExW / GetProcAddress / FreeLibrary behind the library seam.
#pragma once

#include <string>

#include "applet/library.h"

namespace tamber::win32 {

// Game libraries come from one folder, the store: a name is taken relative
// to it and loaded by its full path, and the libraries it imports are looked
// for beside it and in the system folder only, never in the program's
// folder, the current directory or PATH (on a system without that search,
// see win32_library.cpp).
class library_loader final : public tamber::library_loader {
public:
    // The folder relative names are taken in (a full path). Until it is set,
    // the current directory at the time of each load.
    void set_folder(std::wstring folder) { folder_ = std::move(folder); }

    void* open(const char* path, uint32_t& error) override;
    void* symbol(void* module, const char* name) override;
    void close(void* module) override;

private:
    std::wstring folder_;
};

}  // namespace tamber::win32
