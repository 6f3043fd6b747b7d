#include "update/download_log.h"

#include <cstdarg>
#include <cstdio>

namespace tamber {
namespace {

std::time_t system_clock_now() { return std::time(nullptr); }

log_clock current_clock = system_clock_now;
log_mirror current_mirror = nullptr;

constexpr const char* day_names[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* month_names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

void set_log_clock(log_clock clock) { current_clock = clock ? clock : system_clock_now; }

void set_log_mirror(log_mirror mirror) { current_mirror = mirror; }

void format_log_time(std::time_t t, char (&out)[32]) {
    // The host runs on one thread, so the shared result of localtime is safe
    // to copy out at once.
    const std::tm* shared = std::localtime(&t);
    if (!shared) {
        std::snprintf(out, sizeof out, "%s", "??? ??? ?? ??:??:?? ????");
        return;
    }
    const std::tm local = *shared;
    const int wday = local.tm_wday >= 0 && local.tm_wday < 7 ? local.tm_wday : 0;
    const int mon = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    std::snprintf(out, sizeof out, "%s %s %02d %02d:%02d:%02d %d", day_names[wday], month_names[mon],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
}

void log_line(const char* text) {
    char stamp[32];
    format_log_time(current_clock(), stamp);
    if (current_mirror) {
        char line[log_message_capacity + 32];
        std::snprintf(line, sizeof line, "[%.24s] %s", stamp, text);
        current_mirror(line);
    }
    std::FILE* file = std::fopen("download.log", "a+");
    if (!file) return;
    std::fprintf(file, "[%.24s] %s\n", stamp, text);
    std::fclose(file);
}

void log_message(const char* format, ...) {
    // vsnprintf never writes past the buffer: a longer message is cut at
    // 1,023 characters.
    char buffer[log_message_capacity];
    buffer[0] = '\0';
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
    va_end(args);
    log_line(buffer);
}

}  // namespace tamber
