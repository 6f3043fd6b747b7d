#include "platform/sdl/host_options.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tamber::sdl {

const char usage_text[] =
    "usage: tamber [--frames N [--snapshot DIR] [--snapshot-every K] [--input FILE]] [--record FILE]\n"
    "  --frames N          run N frames once the update has ended, then close (a frame clock of\n"
    "                      20 ms a frame, no waiting: the same run every time)\n"
    "  --snapshot DIR      write the frame as a PNG every K frames and at the end\n"
    "  --snapshot-every K  K for --snapshot (default 25)\n"
    "  --input FILE        replay recorded input into the lobby\n"
    "  --record FILE       record the input the lobby receives\n";

namespace {

bool parse_count(const char* text, uint32_t& value) {
    if (!text || !*text || *text == '-' || *text == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v == 0 || v > 0x7FFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, host_options& options, std::string& error) {
    options = {};
    // Every option takes one value: they come in pairs.
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need_value = [&]() {
            if (value) return true;
            error = name + " needs a value";
            return false;
        };
        if (name == "--frames" || name == "--snapshot-every") {
            if (!need_value()) return false;
            uint32_t& target = name == "--frames" ? options.frames : options.snapshot_every;
            if (!parse_count(value, target)) {
                error = name + ": '" + value + "' is not a positive whole number";
                return false;
            }
        } else if (name == "--snapshot" || name == "--input" || name == "--record") {
            if (!need_value()) return false;
            if (!*value) {
                error = name + " needs a non-empty value";
                return false;
            }
            (name == "--snapshot" ? options.snapshot_dir : name == "--input" ? options.input_file
                                                                               : options.record_file) = value;
        } else {
            error = "unknown option '" + name + "'";
            return false;
        }
    }
    if (options.frames == 0 && (!options.snapshot_dir.empty() || !options.input_file.empty())) {
        error = "--snapshot and --input need --frames";
        return false;
    }
    return true;
}

std::string store_folder(const char* xdg_data_home, const char* home) {
    if (xdg_data_home && xdg_data_home[0] == '/') return std::string(xdg_data_home) + "/quillon";
    if (home && home[0] == '/') return std::string(home) + "/.local/share/quillon";
    return "";
}

bool set_up_store(const std::string& folder) {
    if (folder.empty() || folder[0] != '/') return false;
    // Every level from the top down; existing ones are left as they are.
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::chdir(folder.c_str()) == 0;
}

}  // namespace tamber::sdl
