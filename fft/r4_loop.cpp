#include "r4_loop.h"

#include <algorithm>
#include <utility>

namespace zelfft {

namespace {

// Growth class of a data word part for block floating point. The part is
// measured through the 8-bit probe (7 fraction bits, truncation), so only
// its top bits count: the probe pattern is the part floored to 2^-7. The
// bounds 3/16, 3/8 and 97/128 are 24, 48 and 97 probe units.
int radix4_class(int64_t part, int word_width) {
  const int64_t probe = part >> (word_width - 8);
  if (probe >= -24 && probe < 24) return 0;
  if (probe >= -48 && probe < 48) return 1;
  if (probe >= -97 && probe < 97) return 2;
  return 3;
}

}  // namespace

R4_loop::R4_loop(const FftSettings &settings) {
  input_width = settings.internal_input_width;
  output_width = settings.internal_output_width;
  twiddle_width = settings.twiddle_width;
  nfft_max = settings.nfft_max;
  has_rounding = settings.has_rounding;
  has_scaling = settings.has_scaling;
  has_bfp = settings.has_bfp;
  // ZelFix assignment converts into the target's format, so the templates
  // are given their formats rather than assigned.
  data_format.setFormat(output_width, output_width - 1, zel::Signed, zel::Truncate, zel::Wrap);
  twiddle_format.setFormat(twiddle_width + 1, twiddle_width - 1, zel::Signed, zel::Truncate, zel::Saturate);

  // Every word a transform of C_NFFT_MAX can reach, value 0.
  memory.resize(static_cast<size_t>(1) << nfft_max);
  twiddles_.resize(static_cast<size_t>(1) << nfft_max);
  // The butterfly's product path: the sums of products need Bo+TW+2 bits.
  const int bo = output_width, tw = twiddle_width;
  path_ = {bo, tw - 4, bo + 4, (int64_t{1} << (tw - 5)) - 1, has_rounding == 1,
           simd::products_for(bo, tw, bo + tw + 2), has_bfp == 1};
}

R4_loop::~R4_loop() = default;

void R4_loop::take_length(const FftSettings &settings) {
  nfft = settings.nfft;
  r4_stages = settings.r4_stages;
  length = settings.length;
  r4_length = settings.r4_length;
  odd_nfft = settings.odd_nfft;
  r4_address_mask = settings.r4_address_mask;
}

int R4_loop::address_of(int bank, int word) const {
  // The word gives every digit but the top radix-4 one (and, for an odd
  // nfft, the top bit); the bank's digit sum fixes the missing digit.
  const int low_digits = 2 * (r4_stages - 1);
  const int low = word & ((1 << low_digits) - 1);
  const int top = odd_nfft == 1 ? (word >> low_digits) & 1 : 0;
  int sum = top;
  for (int t = 0; t < r4_stages - 1; ++t) sum += (low >> (2 * t)) & 3;
  const int digit = (bank - sum) & 3;
  return low | (digit << low_digits) | (top << (nfft - 1));
}

void R4_loop::write_back(const RawComplex &value, int address) {
  memory[static_cast<size_t>(address)] = value;
  // The growth class only steers block floating point; other
  // configurations skip measuring it (the class stays 0).
  if (has_bfp == 0) return;
  const int word_class = std::max(radix4_class(value.re, output_width), radix4_class(value.im, output_width));
  bfp_class = std::max<int32_t>(bfp_class, word_class);
}

int R4_loop::stage0_start(int b) const {
  // Digits 1 .. R-1 of the operands are b's digits in reverse order; the
  // top bit of an odd nfft is b's top bit.
  const int inner_digits = r4_stages - 1;
  int rest = b & ((1 << (2 * inner_digits)) - 1);
  int reversed = 0;
  for (int d = 0; d < inner_digits; ++d) {
    reversed = reversed * 4 + (rest & 3);
    rest >>= 2;
  }
  return (reversed << 2) | ((b >> (2 * inner_digits)) << (nfft - 1));
}

void R4_loop::refresh_twiddles(const TWIDDLE_ROM &rom) {
  if (twiddle_rom_ == &rom && twiddle_length_ == length && twiddle_direction_ == direction) return;
  raw::load_twiddles(rom, nfft_max, length, direction, twiddles_);
  lane_twiddles_.clear();
  lane_first_.clear();
  for (int s = 0; s < r4_stages; ++s) {
    const size_t span = size_t{1} << (2 * s);
    const size_t scale = size_t{1} << (2 * (r4_stages - 1 - s) + odd_nfft);
    for (size_t k = 1; k <= 3; ++k) lane_first_.push_back(lane_twiddles_.append(twiddles_.data(), span, k * scale));
  }
  if (odd_nfft == 1) lane_first_.push_back(lane_twiddles_.append(twiddles_.data(), size_t(length / 2), 1));
  stage0_starts_.resize(static_cast<size_t>(length / 4));
  for (int b = 0; b < length / 4; ++b) stage0_starts_[static_cast<size_t>(b)] = stage0_start(b);
  // Sample q + j * N/4 loads at digit_reverse(q) + j: the four operands of
  // one stage-0 butterfly.
  stage0_dest_.resize(static_cast<size_t>(length / 4));
  for (int q = 0; q < length / 4; ++q) stage0_dest_[static_cast<size_t>(q)] = digit_reverse(q);
  twiddle_rom_ = &rom;
  twiddle_length_ = length;
  twiddle_direction_ = direction;
}

void R4_loop::run(TWIDDLE_ROM &rom) {
  refresh_twiddles(rom);
  const bool staged = staged_input;
  staged_input = false;

  R4_DIT_PE pe(pe_inputs, *this);
  total_shift = 0;
  // Stage 0's block-floating-point shift from the input headroom: a radix-4
  // butterfly grows by up to two bits.
  bfp_class = std::max(2 - bfp_class, 0);
  for (int s = 0; s < r4_stages + odd_nfft; ++s) {
    stage_index = s;
    int shift = 0;
    if (has_scaling == 1) shift = has_bfp == 1 ? bfp_class : static_cast<int>((scaling_word >> (2 * s)) & 3u);
    total_shift += shift;
    bfp_class = 0;
    butterfly_index = 0;
    simd::StageResult lanes;
    bool done = false;
    if (use_vectors) {
      if (odd_nfft == 1 && s == r4_stages) {
        done = simd::radix2_stage(memory.data(), length, length / 2, lane_twiddles_, lane_first_.back(), path_,
                                  shift, lanes);
      } else if (s == 0 && staged) {
        done = simd::radix4_first_staged(memory.data(), load_scratch.data(), length, stage0_dest_.data(), path_,
                                         shift, direction == 0, lanes);
      } else {
        const size_t *f = &lane_first_[static_cast<size_t>(3 * s)];
        const size_t first[3] = {f[0], f[1], f[2]};
        done = simd::radix4_stage(memory.data(), length, 1 << (2 * s), s == 0 ? stage0_starts_.data() : nullptr,
                                  lane_twiddles_, first, path_, shift, direction == 0, lanes);
      }
    }
    if (s == 0 && staged && !done) {
      // The scalar stage reads the block at its load addresses.
      for (int n = 0; n < length; ++n) {
        memory[static_cast<size_t>(digit_reverse(n))] = load_scratch[static_cast<size_t>(n)];
      }
    }
    if (done) {
      if (lanes.overflow) pe.overflow = 1;
      const int64_t probe = lanes.largest >> (output_width - 8);
      bfp_class = (probe >= 24 ? 1 : 0) + (probe >= 48 ? 1 : 0) + (probe >= 97 ? 1 : 0);
      butterfly_index = length / 4;
    } else if (odd_nfft == 1 && s == r4_stages) {
      radix2_stage(pe, shift);
    } else {
      radix4_stage(pe, s, shift);
    }
    overflow = pe.overflow;
  }

  // The hardware leaves its address mask in this state; simulate sets it
  // again before it reads the results.
  r4_address_mask = ((length >> 3) - 1) & ~2;
}

void R4_loop::radix4_stage(R4_DIT_PE &pe, int s, int shift) {
  const int stages = r4_stages;
  const int span = 1 << (2 * s);  // the operands differ in digit s
  const int below = span - 1;      // digits below s: they select the twiddle
  const int twiddle_scale = 2 * (stages - 1 - s) + odd_nfft;
  for (int b = 0; b < length / 4; ++b, ++butterfly_index) {
    int a0;
    if (s == 0) {
      a0 = stage0_start(b);
    } else {
      // b's digits below s stay, the others move up past digit s.
      a0 = (b & below) | ((b >> (2 * s)) << (2 * s + 2));
    }
    for (int j = 0; j < 4; ++j) pe_inputs[j] = memory[static_cast<size_t>(a0 + j * span)];
    const int k1 = (b & below) << twiddle_scale;
    pe.butterfly(false, shift, twiddles_[static_cast<size_t>(k1)], twiddles_[static_cast<size_t>(2 * k1)],
                 twiddles_[static_cast<size_t>(3 * k1)]);
    if (direction == 0) std::swap(pe.outputs[1], pe.outputs[3]);
    for (int j = 0; j < 4; ++j) write_back(pe.outputs[j], a0 + j * span);
  }
}

void R4_loop::radix2_stage(R4_DIT_PE &pe, int shift) {
  // Two radix-2 butterflies per call: (j, j + N/2) and (j + 2, j + 2 + N/2)
  // for j = 0, 1, 4, 5, 8, 9, ... (bit 1 of j clear), which lie in the four
  // banks q, q+1, q+2, q+3.
  const int half = length / 2;
  for (int b = 0; b < length / 4; ++b, ++butterfly_index) {
    const int j = 2 * b - (b & 1);
    const int address[4] = {j, j + half, j + 2, j + 2 + half};
    for (int r = 0; r < 4; ++r) pe_inputs[r] = memory[static_cast<size_t>(address[r])];
    pe.butterfly(true, shift, twiddles_[static_cast<size_t>(j)], twiddles_[0], twiddles_[static_cast<size_t>(j + 2)]);
    std::swap(pe.outputs[1], pe.outputs[2]);
    for (int r = 0; r < 4; ++r) write_back(pe.outputs[r], address[r]);
  }
}

}  // namespace zelfft
