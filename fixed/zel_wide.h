// Internal value types of the number layer. The rules of ZelNum and ZelFix are
// written once, as templates over an integer type, and run on int64_t when
// every width involved is at most 62 bits, on __int128 up to 126 bits, and on
// Wide (an arbitrary-length two's-complement integer) beyond. Not installed;
// included only by the fixed/*.cpp files and white-box tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zel::detail {

using i128 = __int128;
using u128 = unsigned __int128;

// Two's-complement integer of any length: 32-bit limbs, least significant
// first, the value sign-extended from the top bit of the top limb.
class Wide {
 public:
  Wide() : limbs_(1, 0u) {}
  explicit Wide(int64_t v) : limbs_{uint32_t(uint64_t(v)), uint32_t(uint64_t(v) >> 32)} { trim(); }
  static Wide pow2(long e);  // 2^e, e >= 0
  static Wide fromLimbs(std::vector<uint32_t> limbs) {
    Wide w;
    w.limbs_ = std::move(limbs);
    if (w.limbs_.empty()) w.limbs_.push_back(0);
    w.trim();
    return w;
  }

  bool negative() const { return (limbs_.back() >> 31) != 0; }
  bool zero() const { return limbs_.size() == 1 && limbs_[0] == 0; }
  // Bit i of the infinite two's-complement expansion (0 below bit 0).
  int bit(long i) const {
    if (i < 0) return 0;
    size_t k = size_t(i >> 5);
    if (k >= limbs_.size()) return negative() ? 1 : 0;
    return int((limbs_[k] >> (i & 31)) & 1u);
  }
  // True when any of bits 0 .. n-1 is set.
  bool anyBelow(long n) const;
  uint32_t limb(size_t k) const { return k < limbs_.size() ? limbs_[k] : (negative() ? ~0u : 0u); }
  size_t limbCount() const { return limbs_.size(); }

  Wide& operator+=(const Wide& b);
  Wide& operator-=(const Wide& b);
  Wide operator-() const;
  // Floor division by 2^n and multiplication by 2^n.
  Wide shr(long n) const;
  Wide shl(long n) const;
  friend Wide operator*(const Wide& a, const Wide& b);
  friend int compare(const Wide& a, const Wide& b);
  // |a| as magnitude limbs (for division).
  std::vector<uint32_t> magnitude() const;

 private:
  void trim();  // drops top limbs that only repeat the sign
  std::vector<uint32_t> limbs_;
};

// Quotient and remainder of non-negative a and b > 0 (restoring long division).
void divideMagnitudes(const Wide& a, const Wide& b, Wide& q, Wide& r);

inline Wide operator+(Wide a, const Wide& b) { return a += b; }
inline Wide operator-(Wide a, const Wide& b) { return a -= b; }
inline bool operator==(const Wide& a, const Wide& b) { return compare(a, b) == 0; }
inline bool operator!=(const Wide& a, const Wide& b) { return compare(a, b) != 0; }
inline bool operator<(const Wide& a, const Wide& b) { return compare(a, b) < 0; }
inline bool operator>(const Wide& a, const Wide& b) { return compare(a, b) > 0; }
inline bool operator<=(const Wide& a, const Wide& b) { return compare(a, b) <= 0; }
inline bool operator>=(const Wide& a, const Wide& b) { return compare(a, b) >= 0; }

// ---- one vocabulary over int64_t, __int128 and Wide ---------------------------
// Native types are only used where the caller has checked that every value and
// intermediate fits (widths <= 62 or <= 126 bits), so + - * never overflow.

template <class T> struct NativeInt;
template <> struct NativeInt<int64_t> {
  using U = uint64_t;
  static constexpr int bits = 64;
};
template <> struct NativeInt<i128> {
  using U = u128;
  static constexpr int bits = 128;
};

template <class T> inline T fromSmall(int64_t v) { return T(v); }

// 2^e for 0 <= e (native: e < bits - 1).
template <class T> inline T pow2(long e) { return T(1) << e; }
template <> inline Wide pow2<Wide>(long e) { return Wide::pow2(e); }

template <class T> inline bool isNeg(const T& v) { return v < 0; }
inline bool isNeg(const Wide& v) { return v.negative(); }
template <class T> inline bool isZero(const T& v) { return v == 0; }
inline bool isZero(const Wide& v) { return v.zero(); }

// Bit i of the two's-complement expansion: 0 below bit 0, the sign above the type.
template <class T> inline int bitAt(const T& v, long i) {
  if (i < 0) return 0;
  if (i >= NativeInt<T>::bits) return v < 0 ? 1 : 0;
  return int((v >> i) & 1);
}
inline int bitAt(const Wide& v, long i) { return v.bit(i); }

// Any of bits 0 .. n-1 set.
template <class T> inline bool anyBelow(const T& v, long n) {
  using U = typename NativeInt<T>::U;
  if (n <= 0) return false;
  if (n >= NativeInt<T>::bits) return v != 0;
  return (U(v) & ((U(1) << n) - 1)) != 0;
}
inline bool anyBelow(const Wide& v, long n) { return v.anyBelow(n); }

// Floor of v / 2^n, n >= 0.
template <class T> inline T shr(const T& v, long n) {
  if (n >= NativeInt<T>::bits) return v < 0 ? T(-1) : T(0);
  return v >> n;
}
inline Wide shr(const Wide& v, long n) { return v.shr(n); }

// v * 2^n modulo 2^bits for native types (callers keep only the low bits or
// have checked the range), exact for Wide.
template <class T> inline T shl(const T& v, long n) {
  using U = typename NativeInt<T>::U;
  if (n >= NativeInt<T>::bits) return T(0);
  return T(U(v) << n);
}
inline Wide shl(const Wide& v, long n) { return v.shl(n); }

}  // namespace zel::detail
