// Dot-product kernels behind the FIR resamplers: one plain C++ reference and
// vector forms for SSE2 and AVX2/FMA, chosen at run time from what the
// processor offers. Every kernel sums the same products; only the order of the
// additions (and, with FMA, the rounding of each product) differs, so results
// agree to within the rounding error bound of an n-term dot product.
#pragma once

namespace tessaro {

enum class FIRKernelIsa { kScalar, kSSE2, kAVX2 };

// sum_{i < n} a[i] * b[i]. Pointers need no alignment; n may be 0.
using FIRDotDouble = double (*)(const double* a, const double* b, int n) noexcept;
using FIRDotFloat = float (*)(const float* a, const float* b, int n) noexcept;

double FIRDotScalar(const double* a, const double* b, int n) noexcept;
float FIRDotScalar(const float* a, const float* b, int n) noexcept;
double FIRDotSSE2(const double* a, const double* b, int n) noexcept;
float FIRDotSSE2(const float* a, const float* b, int n) noexcept;
// Call only when FIRKernelSupported(FIRKernelIsa::kAVX2).
double FIRDotAVX2(const double* a, const double* b, int n) noexcept;
float FIRDotAVX2(const float* a, const float* b, int n) noexcept;

// Whether this processor can run the kernel family. Any thread; never allocates.
bool FIRKernelSupported(FIRKernelIsa isa) noexcept;
// The fastest family this processor runs. Any thread; never allocates.
FIRKernelIsa FIRBestKernel() noexcept;
// The kernels of a family; an unsupported family gives the best supported one.
FIRDotDouble FIRDotKernelDouble(FIRKernelIsa isa) noexcept;
FIRDotFloat FIRDotKernelFloat(FIRKernelIsa isa) noexcept;

}  // namespace tessaro
