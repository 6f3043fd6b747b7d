#include "cpu/cpu_features.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define TAMBER_CPU_X86 1
#else
#define TAMBER_CPU_X86 0
#endif

namespace tamber {

namespace {

#if TAMBER_CPU_X86
struct features {
    bool ssse3 = false;
    bool avx2 = false;
    bool sha_extensions = false;
};

features probe() {
    features f;
    __builtin_cpu_init();
    f.ssse3 = __builtin_cpu_supports("ssse3");
    // Also checks that the operating system saves the 256-bit registers.
    f.avx2 = __builtin_cpu_supports("avx2");
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        const bool sha = (ebx & (1u << 29)) != 0;
        f.sha_extensions = sha && f.ssse3 && __builtin_cpu_supports("sse4.1");
    }
    return f;
}
#endif

}  // namespace

bool cpu_has(cpu_feature feature) {
#if TAMBER_CPU_X86
    static const features f = probe();
    switch (feature) {
    case cpu_feature::ssse3:
        return f.ssse3;
    case cpu_feature::avx2:
        return f.avx2;
    case cpu_feature::sha_extensions:
        return f.sha_extensions;
    }
#else
    (void)feature;
#endif
    return false;
}

}  // namespace tamber
