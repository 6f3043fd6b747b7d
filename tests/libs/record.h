/*
 * Shared by the test game libraries: appends one line per call to a log
 * file, reads the settings the tests control through the environment, and
 * notes when the library is mapped ("attach") and unmapped ("detach").
 *
 * Every line is "<library file name>: <call> <arguments>", for example
 * "tblobby.dll: mouse_down 0 10 20 0". The file is named by the environment
 * variable TAMBER_RECORDER_LOG (no log when it is unset; the planted library
 * reads TAMBER_PLANTED_LOG instead); it is opened for
 * appending and closed again for every line, so several libraries can share
 * one log and a reader sees every line at once.
 */
#ifndef TAMBER_TEST_RECORD_H
#define TAMBER_TEST_RECORD_H

#include <stdint.h>

#include "tamber_applet.h"

#if defined(__GNUC__)
#  define RECORD_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#  define RECORD_PRINTF(f, a)
#endif

/* Appends one formatted line (without the trailing newline) to the log. */
void record(const char *format, ...) RECORD_PRINTF(1, 2);

/* The environment variable `name` as a 32-bit number (decimal, or hex with
 * 0x; negative decimals allowed), or `fallback` when unset or empty. */
uint32_t setting(const char *name, uint32_t fallback);

/* 1 if `module` is this library's own module handle as the host's loader
 * reports it (HMODULE on Windows, the dlopen handle elsewhere). */
int is_own_module(tamber_handle module);

/* A handle as a number for the log. */
unsigned long handle_bits(const void *handle);

/* A cursor for `value`: on Windows a system cursor id (32512-32651, e.g.
 * 32649 the hand) loads that system cursor; any other value is returned as
 * the handle itself (0: null, the host's arrow). */
tamber_handle cursor_from_setting(uint32_t value);

/* The address of the host's export applet_send_packet, or null: on 32-bit
 * Windows GetProcAddress(GetModuleHandleA(NULL), "_applet_send_packet@8"),
 * elsewhere the executable's dynamic symbol "applet_send_packet". */
tamber_host_send_packet_fn find_host_send_packet(void);

/* Posts `message` (wParam and lParam 0) to `window`, the way a game library
 * talks to the host's main window; 1 on success. Elsewhere than on Windows
 * through the host's export TAMBER_HOST_POST_MESSAGE_NAME; 0 where the host
 * program has none. */
int post_to_window(tamber_handle window, uint32_t message);

#endif
