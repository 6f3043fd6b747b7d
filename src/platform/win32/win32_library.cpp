#include "platform/win32/win32_library.h"

#include <windows.h>

namespace tamber::win32 {

void* library_loader::open(const char* path, uint32_t& error) {
    HMODULE module = LoadLibraryA(path);
    error = module ? 0 : GetLastError();
    return module;
}

void* library_loader::symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void library_loader::close(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace tamber::win32
