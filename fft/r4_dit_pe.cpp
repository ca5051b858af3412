#include "r4_dit_pe.h"

#include <utility>

namespace zelfft {

R4_DIT_PE::R4_DIT_PE(const RawComplex (&inputs_in)[4], const FFT &engine) : inputs(inputs_in) {
  input_width = engine.input_width;
  output_width = engine.output_width;
  twiddle_width = engine.twiddle_width;
  has_rounding = engine.has_rounding;
  has_scaling = engine.has_scaling;
  work_point = output_width + 2;
  product_width_ = output_width + twiddle_width + 2;
  round_constant_ = (int64_t{1} << (twiddle_width - 5)) - 1;
  narrow_products_ = product_width_ <= 64;
}

template <class Product>
void R4_DIT_PE::twiddle_products(const RawComplex &w1, const RawComplex &w2, const RawComplex &w3,
                                 RawComplex (&t)[3]) const {
  // Products rounded to the working point W = Bo+2, in (Bo+4, W). The
  // product register never wraps: with |x| <= 2^(Bo-1) and |w| <= 2^(TW-1)
  // per part, each sum of products and the rounding constant stay below
  // 2^(Bo+TW), within its Bo+TW+2 bits; so the sums are formed at the full
  // width of Product.
  constexpr int kFullWidth = static_cast<int>(8 * sizeof(Product));
  const int drop = twiddle_width - 4;  // (Bo+TW-2) - W
  const int tw_width = output_width + 4;
  t[0] = raw::round_product<Product>(inputs[1], w1, kFullWidth, round_constant_, drop, tw_width);
  t[1] = raw::round_product<Product>(inputs[2], w2, kFullWidth, round_constant_, drop, tw_width);
  t[2] = raw::round_product<Product>(inputs[3], w3, kFullWidth, round_constant_, drop, tw_width);
}

R4_DIT_PE::~R4_DIT_PE() = default;

void R4_DIT_PE::butterfly(bool radix2, int shift, const RawComplex &w1, const RawComplex &w2,
                          const RawComplex &w3) {
  const int bo = output_width;
  RawComplex t[3];
  if (narrow_products_) {
    twiddle_products<int64_t>(w1, w2, w3, t);
  } else {
    twiddle_products<raw::Wide>(w1, w2, w3, t);
  }
  const RawComplex &t1 = t[0], &t2 = t[1], &t3 = t[2];
  // x0 at the working point (three more fraction bits).
  const RawComplex x0{inputs[0].re * 8, inputs[0].im * 8};

  // First-level sums, held in (Bo+6, W).
  const int pw = bo + 6;
  RawComplex s0, s1, s2, s3;
  if (!radix2) {
    s0 = {raw::wrap(x0.re + t2.re, pw), raw::wrap(x0.im + t2.im, pw)};
    s2 = {raw::wrap(x0.re - t2.re, pw), raw::wrap(x0.im - t2.im, pw)};
    s1 = {raw::wrap(t1.re + t3.re, pw), raw::wrap(t1.im + t3.im, pw)};
    const RawComplex d{raw::wrap(t1.re - t3.re, pw), raw::wrap(t1.im - t3.im, pw)};
    s3 = {d.im, raw::wrap(-d.re, pw)};  // -j * (t1 - t3)
  } else {
    s0 = x0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }

  // Second-level sums in (Bo+9, W+3): three more fraction bits so that a
  // shift of up to 3 is exact; then the shift, the overflow test on the
  // shifted value and the quantisation to the data word.
  const int cw = bo + 9;
  const int cp = work_point + 3;
  const RawComplex combined[4] = {
      {raw::wrap((s0.re + s1.re) * 8, cw), raw::wrap((s0.im + s1.im) * 8, cw)},
      {raw::wrap((s2.re + s3.re) * 8, cw), raw::wrap((s2.im + s3.im) * 8, cw)},
      {raw::wrap((s0.re - s1.re) * 8, cw), raw::wrap((s0.im - s1.im) * 8, cw)},
      {raw::wrap((s2.re - s3.re) * 8, cw), raw::wrap((s2.im - s3.im) * 8, cw)},
  };
  const bool convergent = has_rounding == 1;
  for (int k = 0; k < 4; ++k) {
    const RawComplex scaled{combined[k].re >> shift, combined[k].im >> shift};
    if (raw::outside_unit(scaled.re, cp) || raw::outside_unit(scaled.im, cp)) overflow = 1;
    outputs[k] = {raw::store(scaled.re, cp - (bo - 1), bo, convergent),
                  raw::store(scaled.im, cp - (bo - 1), bo, convergent)};
  }
}

}  // namespace zelfft
