// Built with the common flags of the library; only these functions may use
// AVX2/FMA instructions, and only after FIRKernelSupported said so.
#include <immintrin.h>

#include "dsp/FIRKernels.h"

namespace tessaro {

__attribute__((target("avx2,fma"))) double FIRDotAVX2(const double* a, const double* b, int n) noexcept {
  __m256d acc0 = _mm256_setzero_pd();
  __m256d acc1 = _mm256_setzero_pd();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    acc0 = _mm256_fmadd_pd(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i), acc0);
    acc1 = _mm256_fmadd_pd(_mm256_loadu_pd(a + i + 4), _mm256_loadu_pd(b + i + 4), acc1);
  }
  if (i + 4 <= n) {
    acc0 = _mm256_fmadd_pd(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i), acc0);
    i += 4;
  }
  const __m256d acc = _mm256_add_pd(acc0, acc1);
  __m128d half = _mm_add_pd(_mm256_castpd256_pd128(acc), _mm256_extractf128_pd(acc, 1));
  half = _mm_add_sd(half, _mm_unpackhi_pd(half, half));
  double sum = _mm_cvtsd_f64(half);
  for (; i < n; ++i) sum = __builtin_fma(a[i], b[i], sum);
  return sum;
}

__attribute__((target("avx2,fma"))) float FIRDotAVX2(const float* a, const float* b, int n) noexcept {
  __m256 acc0 = _mm256_setzero_ps();
  __m256 acc1 = _mm256_setzero_ps();
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    acc0 = _mm256_fmadd_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i), acc0);
    acc1 = _mm256_fmadd_ps(_mm256_loadu_ps(a + i + 8), _mm256_loadu_ps(b + i + 8), acc1);
  }
  if (i + 8 <= n) {
    acc0 = _mm256_fmadd_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i), acc0);
    i += 8;
  }
  const __m256 acc = _mm256_add_ps(acc0, acc1);
  __m128 quad = _mm_add_ps(_mm256_castps256_ps128(acc), _mm256_extractf128_ps(acc, 1));
  quad = _mm_add_ps(quad, _mm_movehl_ps(quad, quad));
  quad = _mm_add_ss(quad, _mm_shuffle_ps(quad, quad, 1));
  float sum = _mm_cvtss_f32(quad);
  for (; i < n; ++i) sum = __builtin_fmaf(a[i], b[i], sum);
  return sum;
}

}  // namespace tessaro
