// LoadLibraryA / GetProcAddress / FreeLibrary behind the library seam.
#pragma once

#include "applet/library.h"

namespace tamber::win32 {

class library_loader final : public tamber::library_loader {
public:
    void* open(const char* path, uint32_t& error) override;
    void* symbol(void* module, const char* name) override;
    void close(void* module) override;
};

}  // namespace tamber::win32
