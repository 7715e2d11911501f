#pragma once

// Which kernels rdft and rdftf run. Auto (the default) takes the AVX2 ones
// where the processor has AVX2 and the SSE2 ones (every x86-64 processor)
// elsewhere; both give the same results to the bit. Tests and benchmarks
// pick one to compare them.
// Whether this processor runs AVX2 code (false where the build has no AVX2
// kernels); asked once. The semitone spectrum picks its kernels by it too.
bool cpuHasAvx2();

enum class RdftKernels { Auto, Baseline, Avx2 };

// Returns false and changes nothing when the processor cannot run the
// kernels asked for. Affects every thread; meant for tests and benchmarks.
bool setRdftKernels(RdftKernels kernels);
