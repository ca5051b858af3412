// R2_DIT_PE: the radix-2 decimation-in-time butterfly of the radix-2 burst
// engine. Output 0 is x0 + t and output 1 is x0 - t, where t is x1 times the
// twiddle rounded to the working point W = Bo + 2, each divided by the stage
// shift and requantised to the data word.
#pragma once

#include "fft_base.h"

namespace zelfft {

class R2_DIT_PE : public FFT {
 public:
  // `inputs` is the engine's input pair; the widths and switches come from
  // `engine`.
  R2_DIT_PE(ZelComplex (&inputs)[2], const FFT &engine);
  ~R2_DIT_PE() override;

  // One butterfly on the input pair with twiddle w and right shift `shift`
  // (0..3); results in `outputs`. Sets `overflow` when a scaled result, before
  // quantisation, lies outside [-1, 1).
  void butterfly(const ZelComplex &w, int shift);

  ZelComplex scaled[2];     // (Bo+8, W+3): after the stage shift, exact
  ZelComplex outputs[2];    // (Bo, Bo-1): quantised, ConvergentSafe or truncation
  ZelComplex sums[2];       // (Bo+5, W): x0 + t, x0 - t
  ZelComplex twiddled;      // (Bo+4, W): t, the rounded product
  ZelComplex product;       // (Bo+TW+2, Bo+TW-2): x1 * w plus the rounding constant
  ZelComplex round_constant;
  ZelComplex (&inputs)[2];
  int32_t work_point;
};

}  // namespace zelfft
