// R22_DIF_PE: the butterfly of the pipelined streaming engine. Stages come in
// pairs: the first stage of a pair is a plain radix-2 butterfly; the second
// multiplies the lower operand of every odd group by -j (forward) or +j
// (inverse) and, unless it is the last stage, multiplies both results by
// their twiddles. Under fixed scaling the registers carry two more integer
// bits and the schedule's shift is applied once per pair, after the twiddles.
//
// Registers (B = the engine's word width, TW = twiddle width), as (width,
// fraction bits):
//                      fixed scaling          unscaled / block floating point
//   stage results      (B+2, B-1)             (B, B-1)
//   products, biased   (B+TW+3, B+TW-2)       (B+TW+1, B+TW-2)
//   twiddled           (B+8, B+4)             (B+6, B+5)
//   scaled             (B+11, B+7)            -
//   last even stage    scaled (B+5, B+2), final_stage (B+5, B+2) for an odd
//                      C_NFFT_MAX, else (B+4, B+1)
//   outputs            (B+2, B-1)             (B, B-1)
#pragma once

#include "fft_base.h"
#include "fixed_registers.h"

#include <cstdint>

namespace zelfft {

class R22_DIF_PE : public FFT {
 public:
  // `inputs` is the engine's input pair x0, x1 (memory words, (B+1, B-1));
  // the widths and switches come from `engine`, B from its word width.
  R22_DIF_PE(const RawComplex (&inputs)[2], const FFT &engine, int word_width);
  ~R22_DIF_PE() override;

  // One butterfly of stage `stage` in group `group` with twiddles w1 (upper
  // output) and w2 (lower output) and shift `shift`; results in `outputs`.
  // Under fixed scaling sets `overflow` when a shifted pair-ending or last-
  // stage result lies outside [-1, 1).
  void butterfly(const RawComplex &w1, const RawComplex &w2, int stage, int group, int shift);

  RawComplex outputs[2];
  const RawComplex (&inputs)[2];
  int32_t product_point;  // fraction bits of `twiddled`: B+4 under fixed scaling, else B+5

 private:
  // Finish the stage results held in `outputs`: the lone last stage of an
  // odd length and the last stage of an even length under fixed scaling,
  // and a pair-ending stage with its twiddles.
  void finish_lone_last(int shift);
  void finish_last_pair(int shift);
  void finish_twiddled(const RawComplex &w1, const RawComplex &w2, int shift);
  RawComplex twiddle_product(const RawComplex &x, const RawComplex &w, int drop) const;
  // Sets `overflow` when a part of a shifted value at `point` fraction bits
  // lies outside [-1, 1).
  void test_overflow(const RawComplex &scaled, int point);
  // Store of a value at `point` fraction bits into the output register.
  RawComplex quantise(const RawComplex &value, int point) const;

  int32_t word_width_;        // B
  bool fixed_scaling_;
  int result_width_;          // stage results and outputs: B+2 or B
  int product_width_;
  // The sums of products fit 64 bits (product_width_ <= 64: stage results
  // below 2^(result_width_-1), twiddles at most 2^(TW-1)).
  bool narrow_products_;
  int twiddled_width_;
  int64_t round_constant_;    // 2^(TW+B-3-P) - 1 units of 2^-(B+TW-2)
  bool final_drops_bit_;      // final_stage is (B+4, B+1): C_NFFT_MAX even
};

}  // namespace zelfft
