// FFT: the common base of the transform engines and their processing
// elements. It is mostly a parameter block: the core's widths and switches,
// the run-time transform length, the scaling controls, the block-floating-
// point register, the sticky overflow flag, and the index functions that map
// a logical datum to a memory bank and word.
//
// What simulate needs from an engine (R4_loop, R2_loop, R22_pipeline); the
// per-architecture loading and unloading in fft_simulate.cpp relies on
// exactly this and nothing else:
//   Engine(const FftSettings &settings)     copies the parameters it needs
//   void take_length(const FftSettings &s)  copies the run-time length fields
//   WordFormat word_format() const          the format of the memory words
//   RawComplex &datum(int address)          the word of a logical address
//                                           (the pipelined engine: word n)
//   void run(TWIDDLE_ROM &rom)              the whole transform, in place
// and the inherited fields bfp_class, scaling_word, direction (written before
// run), total_shift, overflow (read after it), r4_address_mask and the
// transfer caches transfer_order and load_scratch; the pipelined engine also
// exposes its memory word width as `word_width`, and the radix-4 engine
// takes a block left in load_scratch in sample order (`staged_input`).
// The memories hold raw patterns (word_format.h), so loading and unloading
// convert a sample once, with the ZelFix assignment's exact rule.
#pragma once

#include "fft_settings.h"
#include "fixed_registers.h"
#include "zel_complex.h"
#include "zel_fix.h"

#include <cstdint>
#include <vector>

namespace zelfft {

using zel::ZelComplex;
using zel::ZelFix;

class FFT {
 public:
  FFT();
  virtual ~FFT();

  // Copies carry the register formats along. Assignment is not offered:
  // assigning a ZelFix converts into the target's format, which would turn
  // the templates into conversions.
  FFT(const FFT &) = default;
  FFT &operator=(const FFT &) = delete;

  // Number of one bits among bits 0 .. nfft-1: the radix-2 bank of a datum.
  int bit_sum(int index) const;
  // Sum of the base-4 digits over r4_stages + odd_nfft positions: the
  // radix-4 bank of a datum (modulo 4).
  int digit_sum(int index) const;
  // Base-4 digits reversed; for an odd nfft, bit 0 becomes the top bit.
  int digit_reverse(int index) const;
  // The low nfft bits in reverse order.
  int bit_reverse(int index) const;
  // The low nfft-1 bits in reverse order.
  int bit_reverse_short(int index) const;

  // Number of bits directly below the sign bit (at most three: w-2, w-3,
  // w-4) that equal it; positions below bit 0 read as 0.
  static int sign_headroom(const ZelFix &value);
  // The smaller headroom of the two parts.
  static int sign_headroom(const ZelComplex &value);
  // The same for a word held as the patterns of a `width`-bit format.
  static int sign_headroom(int64_t pattern, int width) {
    if (width < 4) return short_sign_headroom(pattern, width);
    // With the sign folded away, bits w-2, w-3, w-4 equal the sign bit
    // exactly while they are 0.
    const int64_t folded = pattern ^ (pattern >> 63);
    return (folded < int64_t{1} << (width - 4) ? 1 : 0) + (folded < int64_t{1} << (width - 3) ? 1 : 0) +
           (folded < int64_t{1} << (width - 2) ? 1 : 0);
  }
  static int sign_headroom(const RawComplex &word, int width) {
    const int re = sign_headroom(word.re, width);
    const int im = sign_headroom(word.im, width);
    return re < im ? re : im;
  }

  // Growth class of a value for block floating point. The value is measured
  // through class_probe (8 bits, 7 fractional, truncation, wrap), as the
  // hardware compares only the top bits; thresholds[i] is the bound of
  // class i: class i when -thresholds[i] <= v < thresholds[i], and `count`
  // when no bound holds. A complex value takes the larger class of its parts.
  int growth_class(const ZelFix &value, const double *thresholds, int count);
  int growth_class(const ZelComplex &value, const double *thresholds, int count);

  // Words of fewer than four bits: positions below bit 0 read as 0.
  static int short_sign_headroom(int64_t pattern, int width);

  // True when the value lies in [-1, 1): every integer bit equals the sign.
  static bool within_unit(const ZelFix &value);

  // Parameters, copied from the settings record by the engine constructors.
  int32_t input_width;
  int32_t internal_input_width;
  int32_t output_width;
  int32_t internal_output_width;
  int32_t twiddle_width;
  int32_t nfft_max;
  int32_t has_rounding;
  int32_t has_scaling;
  int32_t has_bfp;
  int32_t arch;
  // Block-floating-point register: the input headroom before a transform,
  // the largest growth class of the running stage during it.
  int32_t bfp_class;
  ZelFix class_probe;
  int32_t total_shift;
  int32_t direction;  // 1 forward, 0 inverse
  int32_t overflow;   // sticky: a scaled butterfly output left [-1, 1)
  // Run-time length fields, copied by take_length before each transform.
  int32_t odd_nfft;
  int32_t r4_address_mask;
  int32_t length;
  int32_t nfft;
  int32_t r4_length;
  int32_t r4_stages;
  // Two bits per stage, stage 0 in bits 1..0. Unsigned: a 16-stage radix-2
  // schedule fills all 32 bits.
  uint32_t scaling_word;
  int32_t butterfly_index;
  int32_t stage_index;
  // Register templates, set by the engine constructors.
  ZelFix data_format;
  ZelFix twiddle_format;
  // The word order simulate loads or unloads through (burst engines: the
  // logical address of sample n; pipelined: the word of X[k]), kept for the
  // length it was built for.
  std::vector<int32_t> transfer_order;
  int32_t transfer_order_length = 0;
  // Words converted in sample order before a reordered load.
  std::vector<RawComplex> load_scratch;
};

}  // namespace zelfft
