// R4_loop: the radix-4 burst engine (C_ARCH 1). An in-place, decimation-in-
// time, mixed-radix transform of N = 2^nfft points (nfft >= 6): nfft >> 1
// radix-4 stages and, for an odd nfft, one final radix-2 stage.
//
// Memory organisation. A logical address A has nfft bits, read as base-4
// digits d0 (bits 1..0) .. d(R-1), R = nfft >> 1, plus a top bit t (bit
// nfft-1) when nfft is odd. A lives in bank digit_sum(A) & 3 (t counts as a
// digit) at word A mod L, L = 4^(R-1), plus t * N/8 for an odd nfft. The four
// operands of a radix-4 butterfly differ in one digit only and so always sit
// in four different banks. Input sample n is loaded at A = digit_reverse(n);
// after the transform A = k holds X[k].
//
// The model keeps the memory as one array by logical address: for the
// transform's length the four banks and this array hold the same words, one
// to one, and the stages can then address their operands directly.
#pragma once

#include "fft_base.h"
#include "fft_settings.h"
#include "fft_simd.h"
#include "r4_dit_pe.h"
#include "twiddle_rom.h"
#include "word_format.h"

#include <vector>

namespace zelfft {

class R4_loop : public FFT {
 public:
  explicit R4_loop(const FftSettings &settings);
  ~R4_loop() override;

  // Copies nfft, r4_stages, length, r4_length, odd_nfft and r4_address_mask
  // for the next transform.
  void take_length(const FftSettings &settings);
  // The whole transform in place. Reads direction, scaling_word and
  // bfp_class (the input block's smallest sign headroom); leaves the block
  // exponent in total_shift and the overflow flag in overflow.
  void run(TWIDDLE_ROM &rom);

  // Memory words are (Bo, Bo-1), truncation, wrap.
  WordFormat word_format() const { return WordFormat(output_width, output_width - 1); }
  // The word of logical address A.
  RawComplex &datum(int address) { return memory[static_cast<size_t>(address)]; }
  // The word at `address` of `bank` for the present length.
  RawComplex &word(int bank, int address) { return datum(address_of(bank, address)); }
  // The logical address whose bank is `bank` and whose word is `word`.
  int address_of(int bank, int word) const;

  std::vector<RawComplex> memory;  // by logical address, 2^nfft_max words
  RawComplex pe_inputs[4];         // x0..x3 of the running butterfly

  // Run the stages on the vector data paths (fft_simd.h) where the
  // configuration allows; false keeps to the scalar processing element, the
  // reference the vector paths are compared with.
  bool use_vectors = true;
  // Set by simulate when it left the block in load_scratch in sample order
  // (word n is sample n) instead of at the load addresses: the next run
  // takes it from there (stage 0 then reads its operands in place). Cleared
  // by the run.
  bool staged_input = false;

 private:
  // Rebuilds the twiddles of this transform's length and direction, their
  // lane tables and stage 0's butterfly addresses when the length or the
  // direction changed since the last run.
  void refresh_twiddles(const TWIDDLE_ROM &rom);
  // Logical address of operand x0 of butterfly b in stage 0.
  int stage0_start(int b) const;

  void radix4_stage(R4_DIT_PE &pe, int stage, int shift);
  void radix2_stage(R4_DIT_PE &pe, int shift);
  // Writes output r of the processing element to logical address `address`
  // and, under block floating point, measures its growth class.
  void write_back(const RawComplex &value, int address);

  // Twiddle k of this transform's length: lookup(k * step) for an inverse
  // transform, its conjugate lookup(Nmax - k * step) for a forward one.
  std::vector<RawComplex> twiddles_;
  const TWIDDLE_ROM *twiddle_rom_ = nullptr;
  int twiddle_length_ = 0;
  int twiddle_direction_ = -1;
  // Per radix-4 stage the offsets of its w1, w2, w3 tables (indexed by the
  // digits below the stage's), then the final radix-2 stage's table.
  simd::LaneTwiddles lane_twiddles_;
  std::vector<size_t> lane_first_;
  std::vector<int32_t> stage0_starts_;
  std::vector<int32_t> stage0_dest_;  // digit_reverse(q), q < length / 4
  simd::BurstPath path_;
};

}  // namespace zelfft
