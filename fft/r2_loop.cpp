#include "r2_loop.h"

#include "r2_dit_pe.h"

#include <algorithm>

namespace zelfft {

namespace {

// Growth-class bounds of the radix-2 engine: 53/128 and 106/128. A stage
// whose outputs reach class c is followed by a shift of c under block
// floating point.
constexpr double kClassBounds[] = {0.4140625, 0.828125};

}  // namespace

R2_loop::R2_loop(const FftSettings &s) : memory(2 * static_cast<size_t>(kBankWords)) {
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
  // Only the words a transform of C_NFFT_MAX can reach get the data format.
  const int used = 1 << (nfft_max - 1);
  for (int bank = 0; bank < 2; ++bank) {
    for (int a = 0; a < used; ++a) word(bank, a).adoptFormat(data_format);
  }
  for (ZelComplex &x : pe_inputs) x.adoptFormat(data_format);
  twiddle.adoptFormat(twiddle_format);
}

R2_loop::~R2_loop() = default;

void R2_loop::take_length(const FftSettings &s) {
  nfft = s.nfft;
  length = s.length;
}

void R2_loop::update_class(const ZelComplex &written) {
  bfp_class = std::max<int32_t>(bfp_class, growth_class(written, kClassBounds, 2));
}

void R2_loop::run(TWIDDLE_ROM &rom) {
  R2_DIT_PE pe(pe_inputs, *this);
  const int n = length;
  const int64_t nmax = int64_t{1} << nfft_max;
  const int64_t step = nmax / n;
  total_shift = 0;
  // The input's headroom decides the shift of stage 0.
  bfp_class = std::max(1 - bfp_class, 0);
  // The growth class only steers block floating point; other
  // configurations skip measuring it.
  const bool measure = has_bfp == 1;

  for (int s = 0; s < nfft; ++s) {
    stage_index = s;
    int shift = 0;
    if (has_scaling == 1) shift = has_bfp == 1 ? bfp_class : static_cast<int>((scaling_word >> (2 * s)) & 3u);
    total_shift += shift;
    bfp_class = 0;
    const int low_mask = (1 << s) - 1;
    // The butterflies of a stage are independent of each other (each reads
    // and writes its own pair; the class and the overflow flag only
    // accumulate), so they are visited grouped by twiddle, b mod 2^s, to
    // look each factor up once per stage. The results are those of the
    // order b = 0, 1, 2, ...
    for (int k = 0; k <= low_mask; ++k) {
      int64_t e = static_cast<int64_t>(k) * (int64_t{1} << (nfft - 1 - s)) * step;
      if (direction == 1) e = (nmax - e) & (nmax - 1);
      twiddle = rom.lookup(e);
      for (int b = k; b < n / 2; b += low_mask + 1) {
        butterfly_index = b;
        const int p = bit_sum(b) & 1;
        // Logical addresses of the pair: b with a 0 bit inserted at position
        // s, and that plus 2^s; a0 lies in bank p, a1 in the other one, each
        // at word A >> 1.
        const int a0 = ((b & ~low_mask) << 1) | k;
        const int a1 = a0 + (1 << s);
        ZelComplex &w0 = word(p, a0 >> 1);
        ZelComplex &w1 = word(p ^ 1, a1 >> 1);
        pe_inputs[0] = w0;
        pe_inputs[1] = w1;

        pe.butterfly(twiddle, shift);

        // Written bank 0 first, then bank 1, as the memory ports do.
        ZelComplex &bank0 = p == 0 ? w0 : w1;
        ZelComplex &bank1 = p == 0 ? w1 : w0;
        bank0 = pe.outputs[p];
        if (measure) update_class(bank0);
        bank1 = pe.outputs[p ^ 1];
        if (measure) update_class(bank1);
      }
    }
  }
  overflow = pe.overflow;
}

}  // namespace zelfft
