#include <emmintrin.h>

#include "dsp/FIRKernels.h"

namespace tessaro {

// Two vector accumulators hide the add latency; the tail runs in scalar.
double FIRDotSSE2(const double* a, const double* b, int n) noexcept {
  __m128d acc0 = _mm_setzero_pd();
  __m128d acc1 = _mm_setzero_pd();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    acc0 = _mm_add_pd(acc0, _mm_mul_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
    acc1 = _mm_add_pd(acc1, _mm_mul_pd(_mm_loadu_pd(a + i + 2), _mm_loadu_pd(b + i + 2)));
  }
  const __m128d acc = _mm_add_pd(acc0, acc1);
  double sum = _mm_cvtsd_f64(_mm_add_sd(acc, _mm_unpackhi_pd(acc, acc)));
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

float FIRDotSSE2(const float* a, const float* b, int n) noexcept {
  __m128 acc0 = _mm_setzero_ps();
  __m128 acc1 = _mm_setzero_ps();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
    acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_loadu_ps(a + i + 4), _mm_loadu_ps(b + i + 4)));
  }
  __m128 acc = _mm_add_ps(acc0, acc1);
  acc = _mm_add_ps(acc, _mm_movehl_ps(acc, acc));
  acc = _mm_add_ss(acc, _mm_shuffle_ps(acc, acc, 1));
  float sum = _mm_cvtss_f32(acc);
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

}  // namespace tessaro
