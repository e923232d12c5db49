#include <cstddef>

#include "dsp/FIRKernels.h"

namespace tessaro {

// The reference: one accumulator, strictly left to right.
double FIRDotScalar(const double* a, const double* b, int n) noexcept {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

float FIRDotScalar(const float* a, const float* b, int n) noexcept {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

bool FIRKernelSupported(FIRKernelIsa isa) noexcept {
  switch (isa) {
    case FIRKernelIsa::kScalar:
    case FIRKernelIsa::kSSE2:  // part of x86-64 itself
      return true;
    case FIRKernelIsa::kAVX2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }
  return false;
}

FIRKernelIsa FIRBestKernel() noexcept {
  return FIRKernelSupported(FIRKernelIsa::kAVX2) ? FIRKernelIsa::kAVX2 : FIRKernelIsa::kSSE2;
}

FIRDotDouble FIRDotKernelDouble(FIRKernelIsa isa) noexcept {
  if (!FIRKernelSupported(isa)) isa = FIRBestKernel();
  switch (isa) {
    case FIRKernelIsa::kScalar:
      return static_cast<FIRDotDouble>(&FIRDotScalar);
    case FIRKernelIsa::kSSE2:
      return static_cast<FIRDotDouble>(&FIRDotSSE2);
    case FIRKernelIsa::kAVX2:
      return static_cast<FIRDotDouble>(&FIRDotAVX2);
  }
  return static_cast<FIRDotDouble>(&FIRDotScalar);
}

FIRDotFloat FIRDotKernelFloat(FIRKernelIsa isa) noexcept {
  if (!FIRKernelSupported(isa)) isa = FIRBestKernel();
  switch (isa) {
    case FIRKernelIsa::kScalar:
      return static_cast<FIRDotFloat>(&FIRDotScalar);
    case FIRKernelIsa::kSSE2:
      return static_cast<FIRDotFloat>(&FIRDotSSE2);
    case FIRKernelIsa::kAVX2:
      return static_cast<FIRDotFloat>(&FIRDotAVX2);
  }
  return static_cast<FIRDotFloat>(&FIRDotScalar);
}

}  // namespace tessaro
