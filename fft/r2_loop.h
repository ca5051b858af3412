// R2_loop: the radix-2 burst engine (C_ARCH 2 and 4). An in-place,
// decimation-in-time transform over a two-bank memory, one butterfly at a
// time. Logical datum A lives in bank bit_sum(A) & 1 at word A >> 1, so the
// two operands of every butterfly sit in different banks and can be read in
// one cycle.
#pragma once

#include "fft_base.h"
#include "fft_settings.h"
#include "fixed_registers.h"
#include "r2_dit_pe.h"
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

 private:
  // The stages, with the product sums formed in `Product` (see
  // R2_DIT_PE::narrow_products).
  template <class Product>
  void run_stages(R2_DIT_PE &pe);

  // The transform's data by logical address while run computes; the memory
  // words are copied in before the first stage and back after the last.
  std::vector<RawComplex> work_;
  // Twiddle k: lookup(k * step) for an inverse transform, its conjugate
  // lookup(Nmax - k * step) for a forward one, step = Nmax / N. Stage s
  // uses k = j * 2^(nfft-1-s), j < 2^s: always k < N/2.
  std::vector<RawComplex> twiddles_;
};

}  // namespace zelfft
