// Marks the scalar reference loops that the packed pixel paths are tested
// and benchmarked against: the compiler must not vectorise them, so that
// they stay the rule as written (and benchmarks time that, not a second
// packed path of the compiler's making).
//   TAMBER_SCALAR_FUNCTION before the function, TAMBER_SCALAR_LOOP before
//   its loop.
#pragma once

#if defined(__clang__)
#define TAMBER_SCALAR_FUNCTION
#define TAMBER_SCALAR_LOOP _Pragma("clang loop vectorize(disable) interleave(disable)")
#elif defined(__GNUC__)
#define TAMBER_SCALAR_FUNCTION __attribute__((optimize("no-tree-vectorize")))
#define TAMBER_SCALAR_LOOP
#else
#define TAMBER_SCALAR_FUNCTION
#define TAMBER_SCALAR_LOOP
#endif
