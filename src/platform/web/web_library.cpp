#include "platform/web/web_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/web/web_host.h"

namespace tamber::web {

namespace {
constexpr uint32_t error_bad_exe_format = 193;
}  // namespace

std::string library_loader::full_path(const char* path) const {
    std::string name = path ? path : "";
    if (name.empty() || name[0] == '/' || folder_.empty()) return name;
    return folder_ + "/" + name;
}

bool library_loader::prepare(const char* path) {
    const std::string full = full_path(path);
    struct stat info {};
    // Nothing to map: open answers with the missing file at once.
    if (full.empty() || stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
    const int state = tamber_web_library_state(full.c_str());
    if (state == 0) return false;
    if (state == 2) {
        tamber_web_library_begin(full.c_str());
        return false;
    }
    return true;
}

void* library_loader::open(const char* path, uint32_t& error) {
    const std::string full = full_path(path);
    struct stat info {};
    if (full.empty() || stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = error_mod_not_found;
        return nullptr;
    }
    // Only a module the page mapped is bound: anything else would be
    // compiled synchronously, which the browser refuses.
    if (tamber_web_library_state(full.c_str()) != 1) {
        tamber_web_library_forget(full.c_str());
        error = error_bad_exe_format;
        return nullptr;
    }
    void* module = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        tamber_web_library_forget(full.c_str());
        error = error_bad_exe_format;
    }
    return module;
}

void* library_loader::symbol(void* module, const char* name) { return module ? dlsym(module, name) : nullptr; }

void library_loader::close(void* module) {
    if (module) dlclose(module);
}

}  // namespace tamber::web
