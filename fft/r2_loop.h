// R2_loop: the radix-2 burst engine (C_ARCH 2 and 4). An in-place,
// decimation-in-time transform over a two-bank memory, one butterfly at a
// time. Logical datum A lives in bank bit_sum(A) & 1 at word A >> 1, so the
// two operands of every butterfly sit in different banks and can be read in
// one cycle.
#pragma once

#include "fft_base.h"
#include "fft_settings.h"
#include "twiddle_rom.h"

#include <vector>

namespace zelfft {

class R2_loop : public FFT {
 public:
  static constexpr int kBankWords = 32768;  // 2 x 2^15 words: the largest transform

  explicit R2_loop(const FftSettings &settings);
  ~R2_loop() override;

  // Copies nfft and length for the next transform.
  void take_length(const FftSettings &settings);
  // The whole transform in place. Reads direction, scaling_word and bfp_class
  // (the input block's smallest sign headroom); leaves the block exponent in
  // total_shift and the overflow flag in overflow.
  void run(TWIDDLE_ROM &rom);

  ZelComplex &word(int bank, int address) {
    return memory[static_cast<size_t>(bank) * kBankWords + static_cast<size_t>(address)];
  }

  std::vector<ZelComplex> memory;  // bank 0 words, then bank 1 words
  ZelComplex pe_inputs[2];         // x0, x1 of the running butterfly
  ZelComplex twiddle;              // (TW+1, TW-1), truncation, saturation

 private:
  void update_class(const ZelComplex &written);
};

}  // namespace zelfft
