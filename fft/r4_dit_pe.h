// R4_DIT_PE: the butterfly of the radix-4 burst engine. Its registers are
// raw patterns in native integers (fixed_registers.h).
#pragma once

#include "fft_base.h"
#include "fixed_registers.h"

#include <cstdint>

namespace zelfft {

class R4_DIT_PE : public FFT {
 public:
  // `inputs` is the engine's input quad x0..x3; the widths and switches come
  // from `engine`. Data words are (Bo, Bo-1), twiddles (TW+1, TW-1).
  R4_DIT_PE(const RawComplex (&inputs)[4], const FFT &engine);
  ~R4_DIT_PE() override;

  // One radix-4 butterfly, or with radix2 two radix-2 butterflies (x0 with
  // x1, x2 with x3), on the input quad; each result divided by 2^shift
  // (0..3). Results in `outputs`; sets `overflow` when a shifted result,
  // before quantisation, lies outside [-1, 1).
  void butterfly(bool radix2, int shift, const RawComplex &w1, const RawComplex &w2, const RawComplex &w3);

  RawComplex outputs[4];  // (Bo, Bo-1), ConvergentSafe or truncation, wrap
  const RawComplex (&inputs)[4];
  int32_t work_point;     // W = Bo + 2, the point of the twiddled values and partial sums

 private:
  template <class Product>
  void twiddle_products(const RawComplex &w1, const RawComplex &w2, const RawComplex &w3, RawComplex (&t)[3]) const;

  int product_width_;     // Bo+TW+2 at point Bo+TW-2
  // The sums of products fit 64 bits (product_width_ <= 64: data below
  // 2^(Bo-1), twiddles at most 2^(TW-1)), so they need no wider integer.
  bool narrow_products_;
  int64_t round_constant_;  // 2^(TW-5) - 1 units of 2^-(Bo+TW-2)
};

}  // namespace zelfft
