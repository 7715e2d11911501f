#pragma once

// In-place real discrete Fourier transform of a power-of-two length n >= 2
// (split-radix, double and single precision).
//
// Forward (isgn >= 0): a[0] = R[0], a[1] = R[n/2], a[2k] = R[k],
// a[2k+1] = I[k] for 0 < k < n/2, with R[k] = sum a[j] cos(2 pi jk/n) and
// I[k] = sum a[j] sin(2 pi jk/n).
// Inverse (isgn < 0): the packed spectrum becomes the samples times n/2;
// multiply by 2/n for the exact inverse.
//
// The caller owns the work areas and sets ip[0] = 0 before the first call:
//   ip: 2 + sqrt(n/2) ints; ip[0] = length of the twiddle table, ip[1] =
//       length of the cosine table, ip[2..] = bit-reversal indices.
//   w:  n/2 elements; w[0 .. ip[0]-1] twiddles, w[ip[0] .. ip[0]+ip[1]-1]
//       cosines of the real-data step.
// Tables are built on demand and only rebuilt for a longer length, so one
// ip/w pair serves any number of transforms of the same or a smaller length.
// No argument is checked.
void rdft(int n, int isgn, double* a, int* ip, double* w);
void rdftf(int n, int isgn, float* a, int* ip, float* w);
