// R22_pipeline: the pipelined streaming engine (C_ARCH 3). A radix-2^2
// decimation-in-frequency transform of N = 2^nfft points in one memory of
// natural-order words: nfft radix-2 stages in pairs (a plain butterfly, then
// the -j/+j rotation and the pair's twiddles), a lone radix-2 stage last
// when nfft is odd. Input sample n is loaded at word n; X[k] ends at word
// bit_reverse(k).
//
// Block floating point runs the transform unscaled in words of
// C_NFFT_MAX + 1 more bits than the input and normalises the whole block by
// one power of two at the end; the loader therefore divides the input by
// 2^(word_width - internal_input_width) and the results are multiplied back.
#pragma once

#include "fft_base.h"
#include "fft_settings.h"
#include "fft_simd.h"
#include "r22_dif_pe.h"
#include "r4_dit_pe.h"
#include "twiddle_rom.h"
#include "word_format.h"

#include <vector>

namespace zelfft {

class R22_pipeline : public FFT {
 public:
  explicit R22_pipeline(const FftSettings &settings);
  ~R22_pipeline() override;

  // Copies nfft and length for the next transform.
  void take_length(const FftSettings &settings);
  // The whole transform in place. Reads direction and, under fixed scaling,
  // scaling_word; leaves the block exponent in total_shift (block floating
  // point only, else 0) and the overflow flag in overflow (fixed scaling
  // only, else 0).
  void run(TWIDDLE_ROM &rom);

  // Memory words are (word_width + 1, word_width - 1), truncation, wrap:
  // values between the stages of a pair may reach [-2, 2).
  WordFormat word_format() const { return WordFormat(word_width + 1, word_width - 1); }
  // Word n of the memory.
  RawComplex &datum(int address) { return memory[static_cast<size_t>(address)]; }
  // The memory has one bank.
  RawComplex &word(int /*bank*/, int address) { return datum(address); }

  std::vector<RawComplex> memory;  // 2^nfft_max words
  int32_t word_width;       // Bm
  RawComplex pe_inputs[2];  // x0, x1 of the running butterfly

  // Run the stages on the vector data paths (fft_simd.h) where the
  // configuration allows; false keeps to the scalar processing element, the
  // reference the vector paths are compared with.
  bool use_vectors = true;

 private:
  int stage_shift(int stage) const;
  void normalise();
  // Rebuilds the twiddles of this transform's length and direction, and
  // their lane tables, when either changed since the last run.
  void refresh_twiddles(const TWIDDLE_ROM &rom);
  void scalar_stage(R22_DIF_PE &pe, int stage, int shift);

  std::vector<RawComplex> twiddles_;  // as for the radix-4 engine
  const TWIDDLE_ROM *twiddle_rom_ = nullptr;
  int twiddle_length_ = 0;
  int twiddle_direction_ = -1;
  // Per odd stage: the twiddles of even groups (upper, lower) and of odd
  // groups (upper, lower), indexed by the butterfly within its group.
  simd::LaneTwiddles lane_twiddles_;
  std::vector<size_t> lane_first_;
};

}  // namespace zelfft
