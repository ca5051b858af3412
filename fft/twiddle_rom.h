// TWIDDLE_ROM: the twiddle factors of the largest transform, stored as a
// quarter wave. The hardware keeps cos and sin of the first quadrant only and
// builds the other three quadrants by swapping the index and negating parts,
// so every factor is an exact copy or exact negation of a table entry.
#pragma once

#include "fixed_registers.h"
#include "zel_complex.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelfft {

using zel::ZelComplex;

class TWIDDLE_ROM {
 public:
  // Builds entries 0 .. 2^(nfft_max-2) (both ends included) of twiddle_width
  // bits: format (TW+1, TW-1), so +1.0 and -1.0 are held exactly.
  TWIDDLE_ROM(int nfft_max, int twiddle_width);
  virtual ~TWIDDLE_ROM();

  TWIDDLE_ROM(const TWIDDLE_ROM &) = delete;
  TWIDDLE_ROM &operator=(const TWIDDLE_ROM &) = delete;

  // Where a factor lives in the quarter-wave table: index a (mod N) reads
  // entry a mod Q, mirrored to Q - r in the odd quadrants; quadrants 1 and 2
  // negate the cosine, quadrants 2 and 3 the sine.
  struct QuadrantEntry {
    size_t entry;
    bool negate_real;
    bool negate_imag;
  };
  QuadrantEntry quadrant_entry(int64_t index) const {
    const int n = nfft_max;
    const int64_t quarter = int64_t{1} << (n - 2);
    const int64_t a = index & ((int64_t{1} << n) - 1);
    const bool odd_quadrant = ((a >> (n - 2)) & 1) != 0;
    const bool lower_half = ((a >> (n - 1)) & 1) != 0;
    int64_t r = a & (quarter - 1);
    if (odd_quadrant) r = quarter - r;
    return {static_cast<size_t>(r), odd_quadrant != lower_half, lower_half};
  }

  // e^{+j 2 pi index / 2^nfft_max}, index taken modulo 2^nfft_max. The answer
  // is built in `result` and stays valid until the next lookup: engines
  // assign it into their own twiddle register straight away.
  const ZelComplex &lookup(int64_t index);

  // The same factor as the patterns of its two parts (TW-1 fraction bits):
  // the engines' data paths work on patterns, and the quadrant rule needs
  // nothing but copies and negations of the table's patterns.
  RawComplex lookup_pattern(int64_t index) const {
    const QuadrantEntry q = quadrant_entry(index);
    const RawComplex &e = patterns_[q.entry];
    return {q.negate_real ? -e.re : e.re, q.negate_imag ? -e.im : e.im};
  }

  int table_size() const { return static_cast<int>(table.size()); }
  const ZelComplex &entry(int k) const { return table[static_cast<size_t>(k)]; }

  int32_t nfft_max;
  int32_t twiddle_width;
  ZelComplex result;
  std::vector<ZelComplex> table;  // entry k: (cos, sin) of 2 pi k / 2^nfft_max

 private:
  std::vector<RawComplex> patterns_;  // the table's entries as patterns
};

}  // namespace zelfft
