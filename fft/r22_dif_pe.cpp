#include "r22_dif_pe.h"

namespace zelfft {

R22_DIF_PE::R22_DIF_PE(const RawComplex (&inputs_in)[2], const FFT &engine, int word_width) : inputs(inputs_in) {
  input_width = engine.input_width;
  twiddle_width = engine.twiddle_width;
  nfft = engine.nfft;
  has_rounding = engine.has_rounding;
  has_scaling = engine.has_scaling;
  nfft_max = engine.nfft_max;
  has_bfp = engine.has_bfp;
  direction = engine.direction;
  output_width = word_width;

  const int b = word_width;
  const int tw = twiddle_width;
  word_width_ = b;
  fixed_scaling_ = has_scaling == 1 && has_bfp == 0;
  result_width_ = fixed_scaling_ ? b + 2 : b;
  product_width_ = fixed_scaling_ ? b + tw + 3 : b + tw + 1;
  narrow_products_ = product_width_ <= 64;
  product_point = fixed_scaling_ ? b + 4 : b + 5;
  twiddled_width_ = fixed_scaling_ ? b + 8 : b + 6;
  round_constant_ = (int64_t{1} << (tw + b - 3 - product_point)) - 1;
  final_drops_bit_ = nfft_max % 2 == 0;
}

R22_DIF_PE::~R22_DIF_PE() = default;

void R22_DIF_PE::butterfly(const RawComplex &w1, const RawComplex &w2, int stage, int group, int shift) {
  const RawComplex &x0 = inputs[0];
  const RawComplex &x1 = inputs[1];
  const int rw = result_width_;
  const bool second_of_pair = (stage & 1) == 1;
  // The stage results are formed in `outputs` and finished there, part by
  // part (copying them as whole pairs through a scratch array costs more
  // than the arithmetic).
  RawComplex (&results)[2] = outputs;
  if (!second_of_pair || (group & 1) == 0) {
    const int64_t a = x0.re, b = x0.im, c = x1.re, d = x1.im;
    results[0].re = raw::wrap(a + c, rw);
    results[0].im = raw::wrap(b + d, rw);
    results[1].re = raw::wrap(a - c, rw);
    results[1].im = raw::wrap(b - d, rw);
  } else {
    // x0 = a + jb, x1 = c + jd: x0 - j*x1 = (a + d) + j(b - c), x0 + j*x1 = (a - d) + j(b + c).
    const int64_t a = x0.re, b = x0.im, c = x1.re, d = x1.im;
    RawComplex &minus_j = direction == 1 ? results[0] : results[1];
    RawComplex &plus_j = direction == 1 ? results[1] : results[0];
    minus_j.re = raw::wrap(a + d, rw);
    minus_j.im = raw::wrap(b - c, rw);
    plus_j.re = raw::wrap(a - d, rw);
    plus_j.im = raw::wrap(b + c, rw);
  }

  const bool last = stage == nfft - 1;
  if (!second_of_pair) {
    if (last && fixed_scaling_) finish_lone_last(shift);
  } else if (last) {
    if (fixed_scaling_) finish_last_pair(shift);
  } else {
    finish_twiddled(w1, w2, shift);
  }
}

void R22_DIF_PE::test_overflow(const RawComplex &scaled, int point) {
  if (raw::outside_unit(scaled.re, point) || raw::outside_unit(scaled.im, point)) overflow = 1;
}

RawComplex R22_DIF_PE::quantise(const RawComplex &value, int point) const {
  const int drop = point - (word_width_ - 1);
  const bool convergent = has_rounding == 1;
  return {raw::store(value.re, drop, result_width_, convergent), raw::store(value.im, drop, result_width_, convergent)};
}

void R22_DIF_PE::finish_lone_last(int shift) {
  // The lone radix-2 stage of an odd length: shifted exactly into
  // (B+11, B+7), tested, then quantised.
  const int width = word_width_ + 11;
  const int64_t up = int64_t{1} << (8 - shift);
  for (RawComplex &out : outputs) {
    const RawComplex scaled{raw::wrap(out.re * up, width), raw::wrap(out.im * up, width)};
    test_overflow(scaled, word_width_ + 7);
    out = quantise(scaled, word_width_ + 7);
  }
}

void R22_DIF_PE::finish_last_pair(int shift) {
  // The last stage of an even length: shifted exactly into (B+5, B+2),
  // tested, then passed through final_stage, which for an even C_NFFT_MAX
  // has one fraction bit less and drops it by truncation.
  const int64_t up = int64_t{1} << (3 - shift);
  for (RawComplex &out : outputs) {
    const RawComplex scaled{raw::wrap(out.re * up, word_width_ + 5), raw::wrap(out.im * up, word_width_ + 5)};
    test_overflow(scaled, word_width_ + 2);
    if (final_drops_bit_) {
      const RawComplex final_stage{raw::wrap(scaled.re >> 1, word_width_ + 4),
                                   raw::wrap(scaled.im >> 1, word_width_ + 4)};
      out = quantise(final_stage, word_width_ + 1);
    } else {
      out = quantise(scaled, word_width_ + 2);
    }
  }
}

RawComplex R22_DIF_PE::twiddle_product(const RawComplex &x, const RawComplex &w, int drop) const {
  // The product register never wraps: a stage result lies below
  // 2^(R-1) in magnitude, R = result_width_, and a twiddle part is at most
  // 2^(TW-1), so each sum of products, with the rounding constant, stays
  // below 2^(R+TW), within the R+TW+1 bits of the product register. The sums are therefore
  // formed at the full width of the integer that holds them.
  if (narrow_products_) return raw::round_product<int64_t>(x, w, 64, round_constant_, drop, twiddled_width_);
  return raw::round_product<raw::Wide>(x, w, 128, round_constant_, drop, twiddled_width_);
}

void R22_DIF_PE::finish_twiddled(const RawComplex &w1, const RawComplex &w2, int shift) {
  const int drop = word_width_ + twiddle_width - 2 - product_point;
  const RawComplex *w[2] = {&w1, &w2};
  for (int k = 0; k < 2; ++k) {
    const RawComplex twiddled = twiddle_product(outputs[k], *w[k], drop);
    if (!fixed_scaling_) {
      outputs[k] = quantise(twiddled, product_point);
      continue;
    }
    // The pair's scaling: exact shift into (B+11, B+7), test, quantise.
    const int64_t up = int64_t{1} << (3 - shift);
    const RawComplex scaled{raw::wrap(twiddled.re * up, word_width_ + 11),
                            raw::wrap(twiddled.im * up, word_width_ + 11)};
    test_overflow(scaled, word_width_ + 7);
    outputs[k] = quantise(scaled, word_width_ + 7);
  }
}

}  // namespace zelfft
