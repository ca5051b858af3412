#include "twiddle_rom.h"

#include <cmath>

namespace zelfft {

namespace {

// The angle constant and the order of operations (product, then division)
// fix the double-precision angles and so the table bits.
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

TWIDDLE_ROM::TWIDDLE_ROM(int nfft_max_in, int twiddle_width_in)
    : nfft_max(nfft_max_in), twiddle_width(twiddle_width_in) {
  const int tw = twiddle_width;
  const double n = std::ldexp(1.0, nfft_max);
  const int quarter = 1 << (nfft_max - 2);
  table.reserve(static_cast<size_t>(quarter) + 1);
  for (int k = 0; k <= quarter; ++k) {
    table.emplace_back(tw + 1, tw - 1, zel::Signed, zel::Convergent, zel::Saturate);
    const double angle = (static_cast<double>(k) * kTwoPi) / n;
    table.back().real() = std::cos(angle);
    table.back().imag() = std::sin(angle);
  }
  result.setFormat(tw + 1, tw - 1, zel::Signed, zel::Convergent, zel::Saturate);
  patterns_.reserve(table.size());
  for (const ZelComplex &e : table) patterns_.push_back({raw::pattern_of(e.real()), raw::pattern_of(e.imag())});
}

TWIDDLE_ROM::~TWIDDLE_ROM() = default;

const ZelComplex &TWIDDLE_ROM::lookup(int64_t index) {
  const QuadrantEntry q = quadrant_entry(index);
  const ZelComplex &e = table[q.entry];
  // The entries of the first quadrant are never negative, so negating them
  // in the (TW+1)-bit result register is exact.
  result.real() = e.real();
  if (q.negate_real) result.real().negate();
  result.imag() = e.imag();
  if (q.negate_imag) result.imag().negate();
  return result;
}

}  // namespace zelfft
