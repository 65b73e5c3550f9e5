// Code built for the processors of its own time (Qt's AVX2 fills and blends) can leave
// the upper halves of the 256-bit vector registers in use when it returns. Until they
// are cleared, every older-style SSE instruction of the rasterizer pays for them: its
// span, gradient and blur loops ran two to three and a half times slower after one Qt
// fill of the frame. The rasterizer's entry points clear them first; the instruction
// costs next to nothing, and machines without AVX have no such state.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace vantrel::flash::render {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
[[gnu::target("avx")]] inline void ZeroUpperHalves() { _mm256_zeroupper(); }

inline void ClearUpperVectorState() {
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) ZeroUpperHalves();
}
#else
inline void ClearUpperVectorState() {}
#endif

}  // namespace vantrel::flash::render
