#include "fixed_registers.h"

#include "twiddle_rom.h"

#include <cmath>

namespace zelfft {

namespace raw {

int64_t pattern_of(const zel::ZelFix &value) {
  // Words hold 16 bits each, least significant first, masked to the width.
  uint64_t bits = 0;
  for (int i = value.wordCount() - 1; i >= 0; --i) bits = (bits << 16) | value.word(i);
  return value.width() == 0 ? 0 : wrap(static_cast<int64_t>(bits), value.width());
}

void set_pattern(zel::ZelFix &value, int64_t pattern) {
  // Patterns are below 2^53, so the double is exact and so is the assignment.
  value = std::ldexp(static_cast<double>(pattern), -value.point());
}

void load_twiddles(const TWIDDLE_ROM &rom, int nfft_max, int length, int direction, std::vector<RawComplex> &table) {
  const int64_t nmax = int64_t{1} << nfft_max;
  const int64_t step = nmax / length;
  for (int k = 0; k < length; ++k) {
    int64_t e = k * step;
    if (direction == 1) e = (nmax - e) & (nmax - 1);
    table[static_cast<size_t>(k)] = rom.lookup_pattern(e);
  }
}

}  // namespace raw

}  // namespace zelfft
