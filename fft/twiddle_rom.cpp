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
  const int n = nfft_max;
  const int64_t quarter = int64_t{1} << (n - 2);
  const int64_t a = index & ((int64_t{1} << n) - 1);
  const bool odd_quadrant = ((a >> (n - 2)) & 1) != 0;
  const bool lower_half = ((a >> (n - 1)) & 1) != 0;
  int64_t r = a & (quarter - 1);
  if (odd_quadrant) r = quarter - r;
  const ZelComplex &e = table[static_cast<size_t>(r)];
  // Quadrants 1 and 2 negate the cosine, quadrants 2 and 3 the sine. The
  // entries of the first quadrant are never negative, so negating them in
  // the (TW+1)-bit result register is exact.
  result.real() = e.real();
  if (odd_quadrant != lower_half) result.real().negate();
  result.imag() = e.imag();
  if (lower_half) result.imag().negate();
  return result;
}

}  // namespace zelfft
