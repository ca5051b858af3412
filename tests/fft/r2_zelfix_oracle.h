// The radix-2 burst engine computed register by register on ZelFix words: the
// butterfly's every register is a ZelComplex of the hardware's format, and
// each store is a ZelFix conversion. Slow, but it states the data path in the
// fixed-point library's own rules, so the integer engine is held to it word
// for word. Same memory layout as the engine: logical datum A in bank
// bit_sum(A) & 1 at word A >> 1.
#pragma once

#include "fft_base.h"
#include "fft_settings.h"
#include "twiddle_rom.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace r2oracle {

using zelfft::FFT;
using zelfft::FftSettings;
using zelfft::TWIDDLE_ROM;
using zelfft::ZelComplex;

// Output 0 is x0 + t and output 1 is x0 - t, where t is x1 times the twiddle
// rounded to the working point W = Bo + 2, each divided by the stage shift
// and requantised to the data word.
class ZelFixButterfly : public FFT {
 public:
  ZelFixButterfly(ZelComplex (&inputs_in)[2], const FFT &engine) : inputs(inputs_in) {
    input_width = engine.input_width;
    output_width = engine.output_width;
    twiddle_width = engine.twiddle_width;
    has_rounding = engine.has_rounding;
    has_scaling = engine.has_scaling;
    overflow = 0;
    const int bo = output_width;
    const int tw = twiddle_width;
    const int w = bo + 2;
    const int out_q = has_rounding == 1 ? zel::ConvergentSafe : zel::Truncate;
    for (int k = 0; k < 2; ++k) {
      scaled[k].setFormat(bo + 8, w + 3, zel::Signed, zel::Truncate, zel::Wrap);
      outputs[k].setFormat(bo, bo - 1, zel::Signed, out_q, zel::Wrap);
      sums[k].setFormat(bo + 5, w, zel::Signed, zel::Truncate, zel::Wrap);
    }
    twiddled.setFormat(bo + 4, w, zel::Signed, zel::Truncate, zel::Wrap);
    product.setFormat(bo + tw + 2, bo + tw - 2, zel::Signed, zel::Truncate, zel::Wrap);
    round_constant.setFormat(bo + tw + 2, bo + tw - 2, zel::Signed, zel::Truncate, zel::Wrap);
    // Just under half a unit of the working point.
    const double half_less_one = std::ldexp(std::ldexp(1.0, tw - 5) - 1.0, -(bo + tw - 2));
    round_constant.set(half_less_one, half_less_one);
  }

  void butterfly(const ZelComplex &w, int shift) {
    ZelComplex::productInto(product, inputs[1], w);
    product.real() += round_constant.real();
    product.imag() += round_constant.imag();
    twiddled = product;
    ZelComplex::sumInto(sums[0], inputs[0], twiddled);
    ZelComplex::differenceInto(sums[1], inputs[0], twiddled);
    for (int k = 0; k < 2; ++k) {
      scaled[k] = sums[k];
      if (shift > 0) scaled[k] >>= shift;
      outputs[k] = scaled[k];
      if (!within_unit(scaled[k].real()) || !within_unit(scaled[k].imag())) overflow = 1;
    }
  }

  ZelComplex scaled[2];   // (Bo+8, W+3)
  ZelComplex outputs[2];  // (Bo, Bo-1), ConvergentSafe or truncation
  ZelComplex sums[2];     // (Bo+5, W)
  ZelComplex twiddled;    // (Bo+4, W)
  ZelComplex product;     // (Bo+TW+2, Bo+TW-2)
  ZelComplex round_constant;
  ZelComplex (&inputs)[2];
};

// The whole engine: stages in order, butterflies in order, each twiddle
// looked up from the ROM, the growth class measured through the 8-bit probe
// (under block floating point).
class ZelFixEngine : public FFT {
 public:
  static constexpr int kBankWords = 32768;

  explicit ZelFixEngine(const FftSettings &s) : memory(2 * static_cast<size_t>(kBankWords)) {
    input_width = s.internal_input_width;
    output_width = s.internal_output_width;
    twiddle_width = s.twiddle_width;
    nfft_max = s.nfft_max;
    has_rounding = s.has_rounding;
    has_scaling = s.has_scaling;
    has_bfp = s.has_bfp;
    data_format.setFormat(output_width, output_width - 1, zel::Signed, zel::Truncate, zel::Wrap);
    twiddle_format.setFormat(twiddle_width + 1, twiddle_width - 1, zel::Signed, zel::Truncate, zel::Saturate);
    const int used = 1 << (nfft_max - 1);
    for (int bank = 0; bank < 2; ++bank) {
      for (int a = 0; a < used; ++a) word(bank, a).adoptFormat(data_format);
    }
    for (ZelComplex &x : pe_inputs) x.adoptFormat(data_format);
    twiddle.adoptFormat(twiddle_format);
  }

  void take_length(const FftSettings &s) {
    nfft = s.nfft;
    length = s.length;
  }

  ZelComplex &word(int bank, int address) {
    return memory[static_cast<size_t>(bank) * kBankWords + static_cast<size_t>(address)];
  }

  void run(TWIDDLE_ROM &rom) {
    static constexpr double kClassBounds[] = {0.4140625, 0.828125};
    ZelFixButterfly pe(pe_inputs, *this);
    const int n = length;
    const int64_t nmax = int64_t{1} << nfft_max;
    const int64_t step = nmax / n;
    total_shift = 0;
    bfp_class = std::max(1 - bfp_class, 0);
    for (int s = 0; s < nfft; ++s) {
      int shift = 0;
      if (has_scaling == 1) shift = has_bfp == 1 ? bfp_class : static_cast<int>((scaling_word >> (2 * s)) & 3u);
      total_shift += shift;
      bfp_class = 0;
      const int low_mask = (1 << s) - 1;
      for (int b = 0; b < n / 2; ++b) {
        const int k = b & low_mask;
        int64_t e = static_cast<int64_t>(k) * (int64_t{1} << (nfft - 1 - s)) * step;
        if (direction == 1) e = (nmax - e) & (nmax - 1);
        twiddle = rom.lookup(e);
        const int p = bit_sum(b) & 1;
        const int a0 = ((b & ~low_mask) << 1) | k;
        const int a1 = a0 + (1 << s);
        ZelComplex &w0 = word(p, a0 >> 1);
        ZelComplex &w1 = word(p ^ 1, a1 >> 1);
        pe_inputs[0] = w0;
        pe_inputs[1] = w1;
        pe.butterfly(twiddle, shift);
        w0 = pe.outputs[0];
        w1 = pe.outputs[1];
        // The class only steers block floating point; measured only then.
        if (has_bfp == 1) {
          bfp_class = std::max({bfp_class, growth_class(w0, kClassBounds, 2), growth_class(w1, kClassBounds, 2)});
        }
      }
    }
    overflow = pe.overflow;
  }

  std::vector<ZelComplex> memory;
  ZelComplex pe_inputs[2];
  ZelComplex twiddle;
};

}  // namespace r2oracle
