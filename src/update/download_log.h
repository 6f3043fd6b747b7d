// The download log: "download.log" in the current directory, one
// time-stamped line per failure of the content update. The file is opened
// for appending and closed again for every line, so it is complete on disk
// after each one and never held open.
#pragma once

#include <cstddef>
#include <ctime>

#if defined(__MINGW32__)
#define TAMBER_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define TAMBER_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TAMBER_PRINTF_FORMAT(f, a)
#endif

namespace tamber {

// Size of the message buffer, terminating zero included: longer messages are
// cut at log_message_capacity - 1 characters.
constexpr std::size_t log_message_capacity = 1024;

// Length of a time stamp such as "Tue Dec 08 03:37:42 2026".
constexpr std::size_t log_time_length = 24;

// Appends "[<time stamp>] <text>\n" to "download.log". If the file cannot be
// opened the line is dropped silently.
void log_line(const char* text);

// printf-style formatting into a 1,024-byte buffer, then log_line.
void log_message(const char* format, ...) TAMBER_PRINTF_FORMAT(1, 2);

// The local time `t` as day name, month name, two-digit day (zero-padded,
// unlike glibc's asctime), hh:mm:ss and the year, English names:
// "Tue Dec 08 03:37:42 2026". `out` receives at least 24 characters and a
// terminating zero.
void format_log_time(std::time_t t, char (&out)[32]);

// The clock the log reads its time stamps from; std::time by default.
// Tests put a fixed clock in place; pass null to restore the default.
using log_clock = std::time_t (*)();
void set_log_clock(log_clock clock);

// Where every line also goes, time stamp included and without its newline,
// whether or not the file could be written: the browser host's console.
// Null (the default) for nowhere.
using log_mirror = void (*)(const char* line);
void set_log_mirror(log_mirror mirror);

}  // namespace tamber
