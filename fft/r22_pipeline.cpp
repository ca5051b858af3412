#include "r22_pipeline.h"

#include <cmath>

namespace zelfft {

R22_pipeline::R22_pipeline(const FftSettings &settings) {
  input_width = settings.internal_input_width;
  output_width = settings.internal_output_width;
  twiddle_width = settings.twiddle_width;
  nfft_max = settings.nfft_max;
  has_rounding = settings.has_rounding;
  has_scaling = settings.has_scaling;
  has_bfp = settings.has_bfp;
  // Fixed scaling keeps the output width and an unscaled core's output width
  // already has the growth; block floating point adds the growth itself.
  word_width = has_scaling == 1 && has_bfp == 1 ? nfft_max + 1 + input_width : output_width;
  // ZelFix assignment converts into the target's format, so the templates
  // are given their formats rather than assigned.
  data_format.setFormat(word_width, word_width - 1, zel::Signed, zel::Truncate, zel::Wrap);
  twiddle_format.setFormat(twiddle_width + 1, twiddle_width - 1, zel::Signed, zel::Truncate, zel::Saturate);

  // Every word a transform of C_NFFT_MAX can reach, value 0.
  memory.resize(static_cast<size_t>(1) << nfft_max);
  twiddles_.resize(static_cast<size_t>(1) << nfft_max);
}

R22_pipeline::~R22_pipeline() = default;

void R22_pipeline::take_length(const FftSettings &settings) {
  nfft = settings.nfft;
  length = settings.length;
}

int R22_pipeline::stage_shift(int s) const {
  // The schedule has one entry per stage pair, applied after the pair's
  // twiddles; a lone last stage of an odd length uses the entry's low bit.
  if (has_scaling == 0 || has_bfp == 1) return 0;
  const unsigned entry = (scaling_word >> (2 * (s / 2))) & 3u;
  if ((s & 1) == 1) return static_cast<int>(entry);
  return s == nfft - 1 ? static_cast<int>(entry & 1u) : 0;
}

void R22_pipeline::refresh_twiddles(const TWIDDLE_ROM &rom) {
  if (twiddle_rom_ == &rom && twiddle_length_ == length && twiddle_direction_ == direction) return;
  raw::load_twiddles(rom, nfft_max, length, direction, twiddles_);
  lane_twiddles_.clear();
  lane_first_.assign(static_cast<size_t>(4 * nfft), 0);
  for (int s = 1; s < nfft - 1; s += 2) {
    // Even groups take exponents 0 and 2i, odd groups i and 3i, in units of
    // 2^(s-1) steps.
    const size_t h = static_cast<size_t>(length >> (s + 1));
    const size_t unit = size_t{1} << (s - 1);
    size_t *first = &lane_first_[static_cast<size_t>(4 * s)];
    first[0] = lane_twiddles_.append(twiddles_.data(), h, 0);
    first[1] = lane_twiddles_.append(twiddles_.data(), h, 2 * unit);
    first[2] = lane_twiddles_.append(twiddles_.data(), h, unit);
    first[3] = lane_twiddles_.append(twiddles_.data(), h, 3 * unit);
  }
  twiddle_rom_ = &rom;
  twiddle_length_ = length;
  twiddle_direction_ = direction;
}

void R22_pipeline::run(TWIDDLE_ROM &rom) {
  refresh_twiddles(rom);

  R22_DIF_PE pe(pe_inputs, *this, word_width);
  total_shift = 0;
  // The vector path's view of the processing element's registers.
  const bool fixed = has_scaling == 1 && has_bfp == 0;
  const int b = word_width;
  const int rw = fixed ? b + 2 : b;
  const int product_point = fixed ? b + 4 : b + 5;
  const simd::PipelinePath path{b,
                                twiddle_width,
                                rw,
                                fixed,
                                has_rounding == 1,
                                direction == 1,
                                nfft_max % 2 == 0,
                                product_point,
                                fixed ? b + 8 : b + 6,
                                (int64_t{1} << (twiddle_width + b - 3 - product_point)) - 1,
                                simd::products_for(rw, twiddle_width, fixed ? b + twiddle_width + 3
                                                                            : b + twiddle_width + 1)};
  for (int s = 0; s < nfft; ++s) {
    stage_index = s;
    butterfly_index = 0;
    const int shift = stage_shift(s);
    const size_t *f = &lane_first_[static_cast<size_t>(4 * s)];
    const size_t first[4] = {f[0], f[1], f[2], f[3]};
    simd::StageResult lanes;
    if (use_vectors &&
        simd::pipeline_stage(memory.data(), length, nfft, s, lane_twiddles_, first, path, shift, lanes)) {
      if (lanes.overflow) pe.overflow = 1;
      overflow = pe.overflow;
      butterfly_index = length / 2;
    } else {
      scalar_stage(pe, s, shift);
    }
  }
  if (has_scaling == 1 && has_bfp == 1) normalise();
}

void R22_pipeline::scalar_stage(R22_DIF_PE &pe, int s, int shift) {
  const int memory_width = word_width + 1;
  const int span = length >> (s + 1);  // h: distance of the two operands
  const int group_size = length >> s;  // G
  const int twiddle_scale = s >= 1 ? s - 1 : 0;
  for (int g = 0; g < length / group_size; ++g) {
    // Odd groups take twiddle exponents i and 3i, even groups 0 and 2i,
    // in units of 2^(s-1) steps.
    const int upper_factor = g & 1;
    const int lower_factor = (g & 1) + 2;
    for (int i = 0; i < span; ++i, ++butterfly_index) {
      const size_t u = static_cast<size_t>(g * group_size + i);
      const size_t l = u + static_cast<size_t>(span);
      pe_inputs[0] = memory[u];
      pe_inputs[1] = memory[l];
      if ((s & 1) == 1) {
        const size_t k1 = static_cast<size_t>(upper_factor * i) << twiddle_scale;
        const size_t k2 = static_cast<size_t>(lower_factor * i) << twiddle_scale;
        pe.butterfly(twiddles_[k1], twiddles_[k2], s, g, shift);
      } else {
        pe.butterfly(twiddles_[0], twiddles_[0], s, g, shift);  // no twiddle in a pair's first stage
      }
      memory[u] = {raw::wrap(pe.outputs[0].re, memory_width), raw::wrap(pe.outputs[0].im, memory_width)};
      memory[l] = {raw::wrap(pe.outputs[1].re, memory_width), raw::wrap(pe.outputs[1].im, memory_width)};
      overflow = pe.overflow;
    }
  }
}

void R22_pipeline::normalise() {
  // Measure the block in units of the input range (the loader divided the
  // input by 2^(nfft_max+1)); the extreme is the last part of largest
  // magnitude met, so its sign decides: -1.0 still fits, +1.0 does not.
  const double unit = std::ldexp(1.0, nfft_max + 1 - (word_width - 1));
  double best = 0.0;
  for (int a = 0; a < length; ++a) {
    const double r = static_cast<double>(memory[static_cast<size_t>(a)].re) * unit;
    const double m = static_cast<double>(memory[static_cast<size_t>(a)].im) * unit;
    const double c = std::fabs(r) > std::fabs(m) ? r : m;
    if (std::fabs(c) >= std::fabs(best)) best = c;
  }
  int k = 0;
  while (best >= 1.0 || best < -1.0) {
    best *= 0.5;
    ++k;
  }
  total_shift = k;
  // Each part shifted right by k, the dropped bits floored away.
  for (int a = 0; a < length; ++a) {
    memory[static_cast<size_t>(a)].re >>= k;
    memory[static_cast<size_t>(a)].im >>= k;
  }
}

}  // namespace zelfft
