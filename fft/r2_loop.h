// R2_loop: the radix-2 burst engine (C_ARCH 2 and 4). An in-place,
// decimation-in-time transform over a two-bank memory, one butterfly at a
// time. Logical datum A lives in bank bit_sum(A) & 1 at word A >> 1, so the
// two operands of every butterfly sit in different banks and can be read in
// one cycle.
//
// The model keeps the memory as one array by logical address: for the
// transform's length the two banks and this array hold the same words, one
// to one, and the stages can then address their operands directly.
#pragma once

#include "fft_base.h"
#include "fft_settings.h"
#include "fft_simd.h"
#include "fixed_registers.h"
#include "r2_dit_pe.h"
#include "twiddle_rom.h"
#include "word_format.h"

#include <vector>

namespace zelfft {

class R2_loop : public FFT {
 public:
  explicit R2_loop(const FftSettings &settings);
  ~R2_loop() override;

  // Copies nfft and length for the next transform.
  void take_length(const FftSettings &settings);
  // The whole transform in place. Reads direction, scaling_word and bfp_class
  // (the input block's smallest sign headroom); leaves the block exponent in
  // total_shift and the overflow flag in overflow.
  void run(TWIDDLE_ROM &rom);

  // Memory words are (Bo, Bo-1), truncation, wrap.
  WordFormat word_format() const { return WordFormat(output_width, output_width - 1); }
  // The word of logical address A.
  RawComplex &datum(int address) { return memory[static_cast<size_t>(address)]; }
  // The word at `address` of `bank` for the present length: the datum A
  // with A >> 1 = address whose one bits have the bank's parity.
  RawComplex &word(int bank, int address);

  std::vector<RawComplex> memory;  // by logical address, 2^nfft_max words

  // Run the stages on the vector data paths (fft_simd.h) where the
  // configuration allows; false keeps to the scalar processing element, the
  // reference the vector paths are compared with.
  bool use_vectors = true;

 private:
  // Rebuilds the twiddles of this transform's length and direction (and
  // their lane tables) when either changed since the last run.
  void refresh_twiddles(const TWIDDLE_ROM &rom);

  // The stages, with the product sums formed in `Product` (see
  // R2_DIT_PE::narrow_products).
  template <class Product>
  void run_stages(R2_DIT_PE &pe);

  // Twiddle k: lookup(k * step) for an inverse transform, its conjugate
  // lookup(Nmax - k * step) for a forward one, step = Nmax / N. Stage s
  // uses k = j * 2^(nfft-1-s), j < 2^s: always k < N/2.
  std::vector<RawComplex> twiddles_;
  const TWIDDLE_ROM *twiddle_rom_ = nullptr;
  int twiddle_length_ = 0;
  int twiddle_direction_ = -1;
  // Stage s's twiddles j < 2^s in lane layout, from lane_first_[s].
  simd::LaneTwiddles lane_twiddles_;
  std::vector<size_t> lane_first_;
  simd::BurstPath path_;
};

}  // namespace zelfft
