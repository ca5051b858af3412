// Decoding of a fuzz input into the choices of one test case, and the
// failure report of the targets. Past the end of the input every read gives
// zero, so any input (also the empty one) decodes to a complete case, and the
// first bytes decide the largest choices. Reads are never two in one
// expression whose order C++ leaves open: a committed input must decode the
// same with every compiler.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zelfuzz {

class Input {
 public:
  Input(const uint8_t *data, size_t size) : p_(data), n_(size) {}

  uint8_t u8() { return n_ == 0 ? 0 : (--n_, *p_++); }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | u8();
    return v;
  }
  uint64_t u64() { return (static_cast<uint64_t>(u32()) << 32) | u32(); }
  bool flag() { return (u8() & 1) != 0; }
  // One of lo..hi (inclusive).
  int range(int lo, int hi) { return lo + static_cast<int>(u8() % static_cast<unsigned>(hi - lo + 1)); }
  // True with probability about k/256: a rare branch (a fault, a wrong size);
  // never past the end of the input.
  bool rarely(int k = 24) { return u8() >= 256 - k; }
  bool empty() const { return n_ == 0; }

 private:
  const uint8_t *p_;
  size_t n_;
};

// A small deterministic generator for the bulk of a block, seeded from the
// input, so a block of thousands of samples needs only a few input bytes.
class Mix {
 public:
  explicit Mix(uint64_t seed) : s_(seed ^ 0x9E3779B97F4A7C15ull) {}
  uint64_t next() {
    s_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = s_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t s_;
};

// Doubles a host can pass where a sample is expected: edges of every range
// the interfaces know, and values that are no number at all.
inline double special_double(unsigned k) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  static const double values[] = {0.0,
                                  -0.0,
                                  -1.0,
                                  1.0,
                                  0x1.fffffffffffffp-1,
                                  -0x1.fffffffffffffp-1,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN(),
                                  kInf,
                                  -kInf,
                                  1e-40,   // subnormal in single precision
                                  -1e-45,  // rounds to the smallest single subnormal
                                  1e-50,   // rounds to single zero
                                  std::numeric_limits<double>::denorm_min(),
                                  3.4028234663852886e38,
                                  3.4028235e38,  // beyond the single range, rounds down to its top
                                  3.5e38,        // rounds to a single infinity
                                  -1e39,
                                  std::numeric_limits<double>::max(),
                                  0.5,
                                  1.5,
                                  -2.5,
                                  0x1p52 + 0.5,
                                  0x1p62,
                                  -0x1p63,
                                  0x1p64,
                                  1e300,
                                  0.1,
                                  32767.0,
                                  -32768.0,
                                  0x1p47,
                                  -0x1p47 - 1};
  return values[k % (sizeof values / sizeof values[0])];
}

inline uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// What the case under test is (its configuration), for the failure report.
inline char *context() {
  static char text[512];
  return text;
}

// A broken invariant: say which and stop, so that the fuzzer keeps the input
// (and a replay fails).
[[noreturn]] inline void fail(const char *target, const char *what, long long a = 0, long long b = 0) {
  std::fprintf(stderr, "%s: invariant broken: %s (%lld, %lld) in %s\n", target, what, a, b, context());
  std::fflush(stderr);
  std::abort();
}

}  // namespace zelfuzz
