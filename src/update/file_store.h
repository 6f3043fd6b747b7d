// The local file store: downloaded files are written under their relative
// names (with '/' separators) below the current directory, directories
// included. A new version is written beside the old one under a temporary
// name and then takes its place in one step, so a write that fails, or a
// process that stops half-way, leaves the old file as it was. Nothing else
// is ever deleted, renamed or moved.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tamber {

// The part of `path` before its last '/'; empty when there is none.
// "data/img/a.png" -> "data/img", "a.png" -> "", "/a.png" -> "".
std::string parent_path(std::string_view path);

// Names go to the C runtime's own narrow-name calls (status, directory
// creation, fopen), so every step reads a name the same way: on Windows as
// text in the ANSI code page, elsewhere as bytes. A name with bytes outside
// ASCII then names one file for testing, creating folders and opening.

// The size of `name` when it is a regular file; false when it is missing or
// something else (a directory, a device).
bool regular_file_size(const std::string& name, uint64_t& size);

// Creates every directory of `path` from the top down ("data", then
// "data/img", ...). Every level is tried on every call; results are ignored.
void make_directories(const std::string& path);

// True when the local file `name` is missing, of another size, or its
// SHA-256 digest (64 upper-case hexadecimal characters) differs from
// `digest`.
bool needs_download(const std::string& name, uint32_t size, const std::string& digest);

// Reads the whole of the small file `name` into `text`. A missing file is
// no failure: true with `exists` false. False when it exists but cannot be
// read, or holds more than `limit` bytes.
bool read_small_file(const std::string& name, std::size_t limit, std::string& text, bool& exists);

// Writes `bytes` to the file `name`, creating its directories first: into a
// temporary file beside it, flushed and closed with every result checked, then
// put in the place of the old file. On failure logs one line and returns
// false, with the old file (if any) unchanged and no temporary file left:
//   "Cannot open '%s': error %d: %s"  (errno and strerror of the failed open)
//   "Write error on '%s': %u bytes have been written instead of %u"
//   "Write error on '%s': error %d: %s"  (the flush or the close failed)
//   "Cannot replace '%s': error %d"  (the platform's error number)
bool write_file(std::span<const uint8_t> bytes, const std::string& name);

// Puts the file `source` in the place of `target`, which may exist, in one
// step: whoever opens `target` finds the old file or the new one, never
// neither. False, with the platform's error number in `error` and nothing
// moved, when that cannot be done. The platform's own call:
// platform/win32/replace_file.cpp, platform/native/replace_file.cpp.
bool replace_file(const std::string& source, const std::string& target, uint32_t& error);

}  // namespace tamber
