// SHA-256 (FIPS 180-2), streamed, and the up-to-date test of a local file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tamber {

struct sha256_context {
    uint32_t count_low;   // bytes absorbed, low 32 bits
    uint32_t count_high;  // high 32 bits
    uint32_t state[8];    // H0..H7
    uint8_t block[64];    // count % 64 bytes of the current block
};

void sha256_init(sha256_context& context);
void sha256_update(sha256_context& context, const void* data, size_t length);
void sha256_final(sha256_context& context, uint8_t out[32]);
// The compression function on one block (uses the SHA extensions when the
// CPU has them).
void sha256_transform(sha256_context& context, const uint8_t block[64]);

namespace reference {
// Portable compression, for the tests that compare the two paths.
void sha256_transform(sha256_context& context, const uint8_t block[64]);
}  // namespace reference

// True when the CPU has the x86 SHA extensions and they are in use.
bool sha256_hardware();

// With true, the portable compression is used even where the CPU has the SHA
// extensions; false goes back to the choice made from the CPU. For
// benchmarks and tests that measure or compare the two paths.
void sha256_force_portable(bool portable);

// Hashes from the file's position to its end; returns the bytes read.
uint32_t hash_file(std::FILE* file, uint8_t out[32]);

// 64 upper-case hexadecimal characters.
std::string digest_to_hex(const uint8_t digest[32]);

}  // namespace tamber
