// The library seam: mapping a game library, finding an entry point by name,
// unmapping it. LoadLibraryA/GetProcAddress/FreeLibrary on Windows, dlopen
// elsewhere. Error codes keep their Windows meaning on every build.
#pragma once

#include <cstdint>

namespace tamber {

using hresult = int32_t;

constexpr uint32_t error_mod_not_found = 126;  // ERROR_MOD_NOT_FOUND
constexpr uint32_t error_bad_format = 11;      // ERROR_BAD_FORMAT

// A system error code as an HRESULT: e itself if it is not positive as a
// signed value, else 0x80070000 | (e & 0xFFFF).
constexpr hresult hresult_from_error(uint32_t e) {
    return static_cast<int32_t>(e) <= 0 ? static_cast<int32_t>(e)
                                        : static_cast<int32_t>(0x80070000u | (e & 0xFFFFu));
}

class library_loader {
public:
    // Whether open(path) can answer now. A platform that maps libraries
    // only asynchronously (the browser, which will not compile a WebAssembly
    // module of more than a few kilobytes synchronously) starts mapping
    // `path` here and says false until that has succeeded or failed; open
    // then answers at once. Everywhere else mapping is synchronous.
    virtual bool prepare(const char* /*path*/) { return true; }
    // Maps the library; null on failure with the system error code in `error`.
    virtual void* open(const char* path, uint32_t& error) = 0;
    // The exported entry point called exactly `name`, or null.
    virtual void* symbol(void* module, const char* name) = 0;
    virtual void close(void* module) = 0;

protected:
    ~library_loader() = default;
};

}  // namespace tamber
