#if !defined(_WIN32) && !defined(_GNU_SOURCE)
#  define _GNU_SOURCE /* dladdr, RTLD_DEFAULT */
#endif

#include "record.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <fcntl.h>
#  include <unistd.h>
#endif

/* The library's own file name, without folders, for the log lines. */
static char module_name[260] = "?";

static void set_module_name(const char *path) {
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    snprintf(module_name, sizeof module_name, "%s", base);
}

/* Reads an environment variable into buf; 0 when unset or empty. */
static int read_env(const char *name, char *buf, size_t size) {
#ifdef _WIN32
    /* The process environment block, which the CRT's _putenv_s updates too. */
    const DWORD n = GetEnvironmentVariableA(name, buf, (DWORD)size);
    return n > 0 && n < size;
#else
    const char *value = getenv(name);
    if (!value || !*value || strlen(value) >= size) return 0;
    memcpy(buf, value, strlen(value) + 1);
    return 1;
#endif
}

/* The variable that names the log: a library built to be told apart from
 * the recorder (a planted copy) logs elsewhere. */
#ifndef RECORD_LOG_VARIABLE
#  define RECORD_LOG_VARIABLE "TAMBER_RECORDER_LOG"
#endif

static void append_to_log(const char *text, size_t length) {
    char path[1024];
    if (!read_env(RECORD_LOG_VARIABLE, path, sizeof path)) return;
#ifdef _WIN32
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, (DWORD)length, &written, NULL);
    CloseHandle(file);
#else
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, text, length) < 0) { /* nothing to do: the test will miss the line */ }
    close(fd);
#endif
}

void record(const char *format, ...) {
    char line[2048];
    int n = snprintf(line, sizeof line, "%s: ", module_name);
    if (n < 0 || (size_t)n >= sizeof line) return;
    va_list args;
    va_start(args, format);
    const int m = vsnprintf(line + n, sizeof line - (size_t)n, format, args);
    va_end(args);
    if (m < 0) return;
    size_t length = (size_t)n + (size_t)m;
    if (length > sizeof line - 2) length = sizeof line - 2; /* cut long lines */
    line[length++] = '\n';
    append_to_log(line, length);
}

uint32_t setting(const char *name, uint32_t fallback) {
    char value[64];
    if (!read_env(name, value, sizeof value)) return fallback;
    /* strtoull negates "-7" in unsigned arithmetic: the low 32 bits are -7. */
    return (uint32_t)strtoull(value, NULL, 0);
}

unsigned long handle_bits(const void *handle) { return (unsigned long)(uintptr_t)handle; }

#ifdef _WIN32

static HMODULE own_module;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        own_module = instance;
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(instance, path, sizeof path);
        if (n > 0 && n < sizeof path) set_module_name(path);
        record("attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        record("detach");
    }
    return TRUE;
}

int is_own_module(tamber_handle module) { return module == (tamber_handle)own_module; }

tamber_handle cursor_from_setting(uint32_t value) {
    if (value >= 32512 && value <= 32651) return (tamber_handle)LoadCursorA(NULL, MAKEINTRESOURCEA(value));
    return (tamber_handle)(uintptr_t)value;
}

tamber_host_send_packet_fn find_host_send_packet(void) {
    return (tamber_host_send_packet_fn)(void *)GetProcAddress(GetModuleHandleA(NULL), TAMBER_HOST_SEND_PACKET_NAME);
}

int post_to_window(tamber_handle window, uint32_t message) {
    return PostMessageW((HWND)window, (UINT)message, 0, 0) ? 1 : 0;
}

#else

static void attach(void) __attribute__((constructor));
static void detach(void) __attribute__((destructor));

static void attach(void) {
    Dl_info info;
    if (dladdr((void *)&attach, &info) && info.dli_fname) set_module_name(info.dli_fname);
    record("attach");
}

static void detach(void) { record("detach"); }

int is_own_module(tamber_handle module) {
    /* dlopen of an already mapped library with RTLD_NOLOAD hands back the
     * same handle the loader got (and counts a reference, dropped again). */
    Dl_info info;
    if (!dladdr((void *)&attach, &info) || !info.dli_fname) return 0;
    void *self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!self) return 0;
    dlclose(self);
    return self == module;
}

tamber_handle cursor_from_setting(uint32_t value) { return (tamber_handle)(uintptr_t)value; }

tamber_host_send_packet_fn find_host_send_packet(void) {
    void *address = dlsym(RTLD_DEFAULT, TAMBER_HOST_SEND_PACKET_NAME);
    tamber_host_send_packet_fn f;
    memcpy(&f, &address, sizeof f);
    return f;
}

int post_to_window(tamber_handle window, uint32_t message) {
    void *address = dlsym(RTLD_DEFAULT, TAMBER_HOST_POST_MESSAGE_NAME);
    tamber_host_post_message_fn post;
    if (!address) return 0;
    memcpy(&post, &address, sizeof post);
    return post(window, message, 0, 0);
}

#endif
