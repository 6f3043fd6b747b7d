// What the processor offers beyond the build's baseline, asked once: the
// packed pixel converters, the blending fills and SHA-256 each choose their
// fastest kernel by it. Every answer is false off x86.
#pragma once

namespace tamber {

enum class cpu_feature {
    ssse3,           // byte shuffles (pixel converters)
    avx2,            // 256-bit integer vectors, with the system saving the registers
    sha_extensions,  // SHA-NI, with the SSSE3 and SSE4.1 its kernel also uses
};

bool cpu_has(cpu_feature feature);

}  // namespace tamber
