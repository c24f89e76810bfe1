// Loops that the compiler runs several values at a time get a copy built for AVX2 beside the
// baseline x86-64 one, and the loader picks the copy the processor can run: the default build
// still runs on any x86-64. Both copies do the same operations in the same order, and neither
// fuses a multiply with an add, so the results are the same to the bit on every machine.
// VELTO_BASELINE_KERNELS builds the baseline copies alone, to compare the two on one machine.
#pragma once

// Clang (the fuzzing build) takes the baseline copies: it refuses clones of a member
// function that is called before it is defined.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(VELTO_BASELINE_KERNELS)
#define VELTO_VECTOR_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VELTO_VECTOR_KERNEL
#endif
