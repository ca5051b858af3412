// R2_DIT_PE: the radix-2 decimation-in-time butterfly of the radix-2 burst
// engine. Output 0 is x0 + t and output 1 is x0 - t, where t is x1 times the
// twiddle rounded to the working point W = Bo + 2, each divided by the stage
// shift and requantised to the data word. Its registers are raw patterns in
// native integers (fixed_registers.h), as (width, fraction bits):
//   inputs, outputs   (Bo, Bo-1)       outputs ConvergentSafe or truncation
//   product, biased   (Bo+TW+2, Bo+TW-2)
//   twiddled          (Bo+4, W)        t, the rounded product
//   sums              (Bo+5, W)        x0 + t, x0 - t
//   scaled            (Bo+8, W+3)      after the stage shift, exact
// Every register wraps.
#pragma once

#include "fft_base.h"
#include "fixed_registers.h"

#include <cstdint>

namespace zelfft {

class R2_DIT_PE : public FFT {
 public:
  // The widths and switches come from `engine`. Twiddles are (TW+1, TW-1).
  explicit R2_DIT_PE(const FFT &engine);
  ~R2_DIT_PE() override;

  // True when the product path may form its sums of products in 64 bits
  // (Bo + TW <= 62): then butterfly<int64_t> gives the same bits as
  // butterfly<raw::Wide>, faster.
  bool narrow_products() const { return output_width + twiddle_width <= 62; }

  // One butterfly on the pair x0, x1 with twiddle w and right shift `shift`
  // (0..3). The results replace the pair, as they replace the operands in
  // the engine's memory. Sets `overflow` when a scaled result, before
  // quantisation, lies outside [-1, 1).
  template <class Product = raw::Wide>
  void butterfly(RawComplex &x0, RawComplex &x1, const RawComplex &w, int shift);

  // The last butterfly's internal registers, for inspection.
  RawComplex twiddled;
  RawComplex scaled[2];
  int32_t work_point;

 private:
  int64_t round_constant_;  // 2^(TW-5) - 1 units of 2^-(Bo+TW-2): just under half a unit of W
  bool convergent_;
};

template <class Product>
inline void R2_DIT_PE::butterfly(RawComplex &x0, RawComplex &x1, const RawComplex &w, int shift) {
  // Only the twiddled and output registers can wrap. The product register
  // never does: |x1| <= 2^(Bo-1) and |w| <= 2^TW per part, so both sums of
  // products and the rounding constant stay below 2^(Bo+TW+1), within its
  // Bo+TW+2 bits; the sums are therefore formed at the full width of
  // Product. With |x0| <= 2^(Bo+2) and |t| <= 2^(Bo+3) at the working point,
  // x0 +- t lies within the Bo+5 bits of the sums, and eight times that
  // within the Bo+8 bits of the scaled register.
  constexpr int kFullWidth = static_cast<int>(8 * sizeof(Product));
  const int bo = output_width;
  const RawComplex t = raw::round_product<Product>(x1, w, kFullWidth, round_constant_, twiddle_width - 4, bo + 4);
  // x0 at the working point: three more fraction bits.
  const int64_t x0_re = x0.re * 8;
  const int64_t x0_im = x0.im * 8;
  const RawComplex sums[2] = {{x0_re + t.re, x0_im + t.im}, {x0_re - t.re, x0_im - t.im}};
  // The scaled register has three more fraction bits than the sums, so a
  // shift of up to 3 loses nothing; the quantisation to the data word then
  // drops (W+3) - (Bo-1) = 6 bits.
  const int point = work_point + 3;
  RawComplex y[2];
  for (int k = 0; k < 2; ++k) {
    const int64_t re = (sums[k].re * 8) >> shift;
    const int64_t im = (sums[k].im * 8) >> shift;
    if (raw::outside_unit(re, point) || raw::outside_unit(im, point)) overflow = 1;
    scaled[k] = {re, im};
    y[k] = {raw::store(re, 6, bo, convergent_), raw::store(im, 6, bo, convergent_)};
  }
  twiddled = t;
  x0 = y[0];
  x1 = y[1];
}

}  // namespace zelfft
