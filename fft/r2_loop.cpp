#include "r2_loop.h"

#include <algorithm>
#include <bit>

namespace zelfft {

R2_loop::R2_loop(const FftSettings &s) {
  input_width = s.internal_input_width;
  output_width = s.internal_output_width;
  twiddle_width = s.twiddle_width;
  nfft_max = s.nfft_max;
  has_rounding = s.has_rounding;
  has_scaling = s.has_scaling;
  has_bfp = s.has_bfp;

  const int bo = output_width;
  const int tw = twiddle_width;
  // Templates take their format by setFormat: assignment would convert into
  // the (empty) format they have.
  data_format.setFormat(bo, bo - 1, zel::Signed, zel::Truncate, zel::Wrap);
  twiddle_format.setFormat(tw + 1, tw - 1, zel::Signed, zel::Truncate, zel::Saturate);
  // Every word a transform of C_NFFT_MAX can reach, value 0.
  memory.resize(static_cast<size_t>(1) << nfft_max);
  twiddles_.resize(static_cast<size_t>(1) << (nfft_max - 1));
  // The butterfly's product path: the sums of products need Bo+TW+2 bits.
  path_ = {bo, tw - 4, bo + 4, (int64_t{1} << (tw - 5)) - 1, has_rounding == 1,
           simd::products_for(bo, tw, bo + tw + 2), has_bfp == 1};
}

R2_loop::~R2_loop() = default;

void R2_loop::take_length(const FftSettings &s) {
  nfft = s.nfft;
  length = s.length;
}

RawComplex &R2_loop::word(int bank, int address) {
  const int parity = std::popcount(static_cast<unsigned>(address)) & 1;
  return datum(2 * address + ((bank ^ parity) & 1));
}

void R2_loop::refresh_twiddles(const TWIDDLE_ROM &rom) {
  if (twiddle_rom_ == &rom && twiddle_length_ == length && twiddle_direction_ == direction) return;
  const int n = length;
  const int64_t nmax = int64_t{1} << nfft_max;
  const int64_t step = nmax / n;
  for (int k = 0; k < n / 2; ++k) {
    int64_t e = k * step;
    if (direction == 1) e = (nmax - e) & (nmax - 1);
    twiddles_[static_cast<size_t>(k)] = rom.lookup_pattern(e);
  }
  lane_twiddles_.clear();
  lane_first_.clear();
  for (int s = 0; s < nfft; ++s) {
    lane_first_.push_back(lane_twiddles_.append(twiddles_.data(), size_t{1} << s, size_t{1} << (nfft - 1 - s)));
  }
  twiddle_rom_ = &rom;
  twiddle_length_ = length;
  twiddle_direction_ = direction;
}

void R2_loop::run(TWIDDLE_ROM &rom) {
  refresh_twiddles(rom);

  R2_DIT_PE pe(*this);
  if (pe.narrow_products()) {
    run_stages<int64_t>(pe);
  } else {
    run_stages<raw::Wide>(pe);
  }
  overflow = pe.overflow;
}

template <class Product>
void R2_loop::run_stages(R2_DIT_PE &pe) {
  const int n = length;
  total_shift = 0;
  // The input's headroom decides the shift of stage 0.
  bfp_class = std::max(1 - bfp_class, 0);
  // The growth class only steers block floating point; other
  // configurations skip measuring it.
  const bool measure = has_bfp == 1;
  RawComplex *data = memory.data();

  for (int s = 0; s < nfft; ++s) {
    stage_index = s;
    int shift = 0;
    if (has_scaling == 1) shift = has_bfp == 1 ? bfp_class : static_cast<int>((scaling_word >> (2 * s)) & 3u);
    total_shift += shift;
    // The butterflies of a stage are independent of each other (each reads
    // and writes its own pair; the class and the overflow flag only
    // accumulate), so the order of visiting them does not change a bit.
    // Butterfly (g, j) pairs datum a0 = g * 2^(s+1) + j with a0 + 2^s and
    // uses twiddle j * 2^(nfft-1-s).
    const int span = 1 << s;
    const int twiddle_stride = 1 << (nfft - 1 - s);
    // Largest v ^ (v >> 63) over the parts written: |v| for v >= 0, |v| - 1
    // below. The growth class only grows with it.
    int64_t largest = 0;
    simd::StageResult lanes;
    if (use_vectors && simd::radix2_stage(data, n, span, lane_twiddles_, lane_first_[static_cast<size_t>(s)], path_,
                                          shift, lanes)) {
      if (lanes.overflow) pe.overflow = 1;
      largest = lanes.largest;
    } else {
      for (int base = 0; base < n; base += 2 * span) {
        for (int j = 0; j < span; ++j) {
          RawComplex &x0 = data[base + j];
          RawComplex &x1 = data[base + j + span];
          pe.template butterfly<Product>(x0, x1, twiddles_[static_cast<size_t>(j) * twiddle_stride], shift);
          if (measure) {
            for (const RawComplex &y : {x0, x1}) {
              largest = std::max({largest, y.re ^ (y.re >> 63), y.im ^ (y.im >> 63)});
            }
          }
        }
      }
    }
    // Class bounds 53/128 and 106/128, compared on the word's top 8 bits (7
    // fraction bits, floored) as the hardware does: v lies in [-b, b) for
    // such a bound b exactly when (v ^ (v >> 63)) >> (Bo-8) is below b * 128.
    const int64_t probe = largest >> (output_width - 8);
    bfp_class = measure ? (probe >= 53 ? 1 : 0) + (probe >= 106 ? 1 : 0) : 0;
  }
  // The index the hardware's last butterfly leaves behind.
  butterfly_index = n / 2 - 1;
}

}  // namespace zelfft
