// Loops that run markedly faster with 256-bit vectors are compiled twice: once for
// any x86-64 processor (SSE2) and once with AVX2, which runs where the processor has
// it. The choice is made at run time, so the program still runs on every x86-64.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define SONARA_WIDE_VECTORS __attribute__((target("avx2")))
#define SONARA_HAS_WIDE_VECTORS 1
#else
#define SONARA_WIDE_VECTORS
#define SONARA_HAS_WIDE_VECTORS 0
#endif

// Inlined into both copies, so that each is compiled for its own processor.
#define SONARA_INLINE_LOOP __attribute__((always_inline)) inline

namespace sonara::platform {

// Whether the AVX2 copies are taken: the processor has AVX2 and they are allowed.
bool wideVectors() noexcept;
// Tests and benchmarks compare both copies; the default allows the wide ones.
void allowWideVectors(bool allowed) noexcept;

}  // namespace sonara::platform
