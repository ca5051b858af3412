// Compiled once per instruction set (Highway's foreach_target). Both
// directions go through the bits of 2^52 + 2^51: for an integer w with
// |w| < 2^51 the double 2^52 + 2^51 + w holds w in its low mantissa bits, so
// adding or subtracting that constant on one side and its bit pattern on the
// other converts exactly with plain integer and floating-point adds.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "word_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "word_lanes.h"

#include <bit>

HWY_BEFORE_NAMESPACE();
namespace zelpy {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

constexpr double kMagic = 6755399441055744.0;  // 2^52 + 2^51
constexpr std::uint64_t kMagicBits = 0x4338000000000000;

using DU = hn::ScalableTag<std::uint64_t>;
using DI = hn::Rebind<std::int64_t, DU>;
using DD = hn::Rebind<double, DU>;

double ToDouble(std::uint64_t u) { return std::bit_cast<double>(u + kMagicBits) - kMagic; }
std::int64_t ToWord(double d) {
  return static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(d + kMagic) - kMagicBits);
}
HWY_INLINE hn::Vec<DD> ToDoubles(hn::Vec<DU> u) {
  return hn::Sub(hn::BitCast(DD(), hn::Add(u, hn::Set(DU(), kMagicBits))), hn::Set(DD(), kMagic));
}
HWY_INLINE hn::Vec<DI> ToWords(hn::Vec<DD> d) {
  const DI di;
  return hn::Sub(hn::BitCast(di, hn::Add(d, hn::Set(DD(), kMagic))), hn::Set(di, static_cast<std::int64_t>(kMagicBits)));
}

// Words of x (and of y, interleaved with x's, when y is given) to doubles.
// The range check is one shift: w is in [lo, lo + 2^width) exactly when
// (w - lo), taken unsigned, has no bit at or above `width`.
std::uint64_t WordsIn(const std::int64_t *HWY_RESTRICT x, const std::int64_t *HWY_RESTRICT y,
                      double *HWY_RESTRICT dst, std::size_t n, std::int64_t lo, int width) {
  const DU du;
  const std::size_t lanes = hn::Lanes(du);
  const auto ulo = static_cast<std::uint64_t>(lo);
  const auto vlo = hn::Set(du, ulo);
  const auto *ux = reinterpret_cast<const std::uint64_t *>(x), *uy = reinterpret_cast<const std::uint64_t *>(y);
  auto outside = hn::Zero(du);
  std::size_t k = 0;
  for (; k + lanes <= n; k += lanes) {
    const auto a = hn::LoadU(du, ux + k);
    outside = hn::Or(outside, hn::ShiftRightSame(hn::Sub(a, vlo), width));
    if (!y) {
      hn::StoreU(ToDoubles(a), DD(), dst + k);
      continue;
    }
    const auto b = hn::LoadU(du, uy + k);
    outside = hn::Or(outside, hn::ShiftRightSame(hn::Sub(b, vlo), width));
    hn::StoreInterleaved2(ToDoubles(a), ToDoubles(b), DD(), dst + 2 * k);
  }
  std::uint64_t rest = 0;
  for (; k < n; ++k) {
    rest |= (ux[k] - ulo) >> width;
    if (!y) {
      dst[k] = ToDouble(ux[k]);
      continue;
    }
    rest |= (uy[k] - ulo) >> width;
    dst[2 * k] = ToDouble(ux[k]);
    dst[2 * k + 1] = ToDouble(uy[k]);
  }
  return rest | hn::GetLane(hn::SumOfLanes(du, outside));  // lanes below 2^56 each: no sum wraps to 0
}

// Doubles (pairs when y is given) to the words of x (and y). `stream`: the
// words go to memory around the caches, in whole aligned vectors.
void WordsOut(const double *HWY_RESTRICT src, std::int64_t *HWY_RESTRICT x, std::int64_t *HWY_RESTRICT y,
              std::size_t n, bool stream) {
  const DI di;
  const std::size_t lanes = hn::Lanes(di), align = lanes * sizeof(std::int64_t);
  auto one = [&](std::size_t k) {
    if (!y) {
      x[k] = ToWord(src[k]);
    } else {
      x[k] = ToWord(src[2 * k]);
      y[k] = ToWord(src[2 * k + 1]);
    }
  };
  auto put = [&](hn::Vec<DI> w, std::int64_t *p) {
    if (stream) hn::Stream(w, di, p);
    else hn::StoreU(w, di, p);
  };
  std::size_t k = 0;
  if (stream && y && reinterpret_cast<std::uintptr_t>(x) % align != reinterpret_cast<std::uintptr_t>(y) % align)
    stream = false;
  if (stream)
    for (; k < n && reinterpret_cast<std::uintptr_t>(x + k) % align != 0; ++k) one(k);
  for (; k + lanes <= n; k += lanes) {
    if (!y) {
      put(ToWords(hn::LoadU(DD(), src + k)), x + k);
      continue;
    }
    hn::Vec<DD> re, im;
    hn::LoadInterleaved2(DD(), src + 2 * k, re, im);
    put(ToWords(re), x + k);
    put(ToWords(im), y + k);
  }
  for (; k < n; ++k) one(k);
}

}  // namespace HWY_NAMESPACE
}  // namespace zelpy
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace zelpy {

HWY_EXPORT(WordsIn);
HWY_EXPORT(WordsOut);

std::uint64_t words_to_doubles(const std::int64_t *src, double *dst, std::size_t len, std::int64_t lo, int width) {
  return HWY_DYNAMIC_DISPATCH(WordsIn)(src, nullptr, dst, len, lo, width);
}

std::uint64_t words_to_pairs(const std::int64_t *x, const std::int64_t *y, double *pairs, std::size_t count,
                             std::int64_t lo, int width) {
  return HWY_DYNAMIC_DISPATCH(WordsIn)(x, y, pairs, count, lo, width);
}

void doubles_to_words(const double *src, std::int64_t *dst, std::size_t len, bool stream) {
  HWY_DYNAMIC_DISPATCH(WordsOut)(src, dst, nullptr, len, stream);
}

void pairs_to_words(const double *pairs, std::int64_t *x, std::int64_t *y, std::size_t count, bool stream) {
  HWY_DYNAMIC_DISPATCH(WordsOut)(pairs, x, y, count, stream);
}

void stream_fence() {
#if HWY_ARCH_X86
  _mm_sfence();
#endif
}

}  // namespace zelpy
#endif  // HWY_ONCE
