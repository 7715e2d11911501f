#pragma once

// Which kernels rdft and rdftf run. Auto (the default) takes the AVX2 ones
// where the processor has AVX2 and the SSE2 ones (every x86-64 processor)
// elsewhere; both give the same results to the bit. Tests and benchmarks
// pick one to compare them.
enum class RdftKernels { Auto, Baseline, Avx2 };

// Returns false and changes nothing when the processor cannot run the
// kernels asked for. Affects every thread; meant for tests and benchmarks.
bool setRdftKernels(RdftKernels kernels);
