// Golden outputs: a fixed set of random configurations and calls through the
// exported interface. Each configuration's calls are hashed (return code,
// every bit of every result, block exponent, overflow flag, the sample
// arrays as the call left them and the exact text on standard error), and
// the hashes are compared with the ones recorded from a trusted build. Any
// change of one output bit, one warning or one error anywhere shows up here
// with the configuration that produced it.
#include "brevant.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kSeed = 0x601DE5EEDull;
constexpr int kConfigs = 200;

// Hashes recorded per configuration (low 32 bits of FNV-1a 64), in order.
const char kRecorded[] =
    "8a4d3082 bf07bbb5 0c431e76 7bbadb5c 87e1a1f7 ced613ea 73382718 69bc34f4 "
    "2652ba72 bbd46ad4 c1cd93de 3aab2929 a7e93e2a 608f1910 87a76118 a78d5854 "
    "93186a74 67702005 ac6b221d ed03e28a 594980cc c3071756 ab80b092 32ec31fc "
    "57b05f20 c00bc798 f7ee1f89 97fd90ea bdd9e37f 57cca51f 8aa29d99 a154a2eb "
    "163b0980 0937221c 13a0a740 19f5c461 38f06d60 4063bb07 a6c0186f a2e291db "
    "8a8f8c03 da7acf29 213e3253 7c1910e0 6c5da602 e3400728 bf3735ba 9b134a04 "
    "d717e3de 86ae739b 9f3f2219 dea2a922 7b7dc279 5298c6d1 d1636deb 5bf2d28e "
    "ea961e11 b57d064f 5b8c97d1 618c4838 5d7adf97 150d8f91 9c4a8845 f0650629 "
    "bdf3f0ed f273bca5 a5ffa53c 0d8af06d 5e5e187f 17a285e3 3b676a39 21e6382a "
    "00e5b8e0 42badc96 cc6f95f2 baece840 c6dffce5 9020bf98 4effcfbf 849d130c "
    "2ecc8765 4557099e 6ab41015 70db8a13 19addc94 4a960245 749bd8d3 cefe8fd7 "
    "1313eac5 d17d250e f0cf87fb b1b35508 2a4ee6f8 dbe53568 6e4c06ce 46f5dd00 "
    "d7816d20 9cfdbda8 63ecb9a4 ace35b34 03210f2a 1486ea76 421864f6 49c6a686 "
    "7a66a67f 7dea1e60 2de13f06 ac2eca67 fbdaa729 da0a7d55 9252dd80 890169a4 "
    "2540fc98 e3097b82 6562685b 6359f96c b36c301b 1dccce76 7896f9fe cb8d15d3 "
    "b7cb8eeb 7683e774 572636bb e8d6f706 bac8e608 39b20837 4a86bd1b 3ae96844 "
    "4a44e426 6ea775ec 290b3470 abac63ff 64dbc0f1 219a0373 c507a364 eb469701 "
    "0d55e284 11597414 93585632 8c2db8fb 5bb43952 b72e4baa f0ff436e 5cc83bb6 "
    "eed1ec3d b9e85b99 e4977be5 a83767bb 80c34e23 acc2dcd5 5c899d4f 00a9fdb7 "
    "07b5ada1 6538fa99 ed6fc33c dcccc5e9 889dd3bd 73056185 f0ca40a0 5a57c4ff "
    "5d1b99cc e794186b d4acf104 94d51afb a20a273f 945d1c59 76d78969 acee40e4 "
    "593df059 35010412 9e394b8e d9c0aadd 5a113cf2 0b802d91 eccb8ec4 7f548fc5 "
    "591d0759 94f72fb6 4b2a3bea 37d03e91 a79a5368 fb46de0e 7eff61f2 dbd763af "
    "667afec8 612aa65c 7442427c 025fc4d5 00d1b8f7 5ed26637 a4c35701 6875fb97 "
    "1e0250bd c3218600 a0f58e5e cce0b807 555f1e93 71bb9ff3 08147edb 6715cb42";

struct Hash {
  uint64_t h = 0xcbf29ce484222325ull;
  void bytes(const void *p, size_t n) {
    const auto *b = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 0x100000001b3ull;
  }
  void i64(int64_t v) { bytes(&v, sizeof v); }
  void f64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    bytes(&u, sizeof u);
  }
  void text(const std::string &s) {
    i64(static_cast<int64_t>(s.size()));
    bytes(s.data(), s.size());
  }
};

// Deterministic draws from the raw generator (the standard distributions
// may differ between libraries).
struct Draw {
  std::mt19937_64 rng;
  int in(int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo + 1)); }
  bool one_in(int n) { return rng() % static_cast<uint64_t>(n) == 0; }
  int64_t bits(int b) { return static_cast<int64_t>(rng() >> (64 - b)); }  // 0 .. 2^b - 1
};

int legal_min(const korvane_ip_zelfft_v9_0_generics &g) { return g.C_ARCH == 1 ? 6 : 3; }

korvane_ip_zelfft_v9_0_generics draw_generics(Draw &d) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = d.in(1, 4);
  g.C_USE_FLT_PT = d.one_in(3) ? 1 : 0;
  // Mostly short transforms; now and then a longer one.
  const int top = d.one_in(8) ? 12 : 9;
  g.C_NFFT_MAX = d.in(legal_min(g), top);
  g.C_HAS_NFFT = d.in(0, 1);
  if (g.C_NFFT_MAX == 3 || (g.C_ARCH == 1 && g.C_NFFT_MAX == 6)) g.C_HAS_NFFT = 0;
  g.C_INPUT_WIDTH = g.C_USE_FLT_PT == 1 ? 32 : d.in(8, 34);
  g.C_TWIDDLE_WIDTH = d.in(8, 34);
  g.C_HAS_SCALING = d.in(0, 1);
  g.C_HAS_BFP = g.C_HAS_SCALING == 1 ? d.in(0, 1) : 0;
  g.C_HAS_ROUNDING = d.in(0, 1);
  return g;
}

std::string describe(const korvane_ip_zelfft_v9_0_generics &g) {
  std::ostringstream os;
  os << "arch " << g.C_ARCH << " nfft_max " << g.C_NFFT_MAX << " has_nfft " << g.C_HAS_NFFT << " flt "
     << g.C_USE_FLT_PT << " width " << g.C_INPUT_WIDTH << " twiddle " << g.C_TWIDDLE_WIDTH << " scaling "
     << g.C_HAS_SCALING << " bfp " << g.C_HAS_BFP << " rounding " << g.C_HAS_ROUNDING;
  return os.str();
}

// A fixed-point sample of the given kind for a core of `width` input bits.
double fixed_sample(Draw &d, int kind, int width) {
  const double lsb = std::ldexp(1.0, 1 - width);
  switch (kind) {
    case 0: return static_cast<double>(d.bits(width) - (int64_t{1} << (width - 1))) * lsb;  // on the grid
    case 1: return static_cast<double>(d.bits(width - 4) - (int64_t{1} << (width - 5))) * lsb;  // quieter
    case 2: return std::ldexp(static_cast<double>(d.bits(53)), -53) * 2.0 - 1.0;  // anywhere in [-1, 1)
    default: {
      // The extremes and their neighbours, signed zeros and ties.
      const double picks[] = {-1.0, 1.0 - lsb, -0.0, 0.0, 1.0 - lsb / 4, -1.0 + lsb / 2, lsb / 2, -lsb / 2,
                              1.5 * lsb, -1.5 * lsb, 0.5, -0.5};
      return picks[d.in(0, 11)];
    }
  }
}

// A floating-point sample: magnitudes over the whole single range and
// beyond, with subnormals, infinities and NaNs now and then.
double float_sample(Draw &d, int kind) {
  const double m = 1.0 + std::ldexp(static_cast<double>(d.bits(52)), -52);
  const double s = d.one_in(2) ? -1.0 : 1.0;
  switch (kind) {
    case 0: return s * std::ldexp(m, d.in(-20, 20));
    case 1: return s * std::ldexp(m, d.in(-150, 127));  // subnormal singles to the largest
    default: {
      const double picks[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                              std::ldexp(1.0, -149), 3.4028234663852886e38, -3.4028235677973366e38, 1e-300,
                              s * std::ldexp(1.0, d.in(-30, 30))};
      return picks[d.in(0, 9)];
    }
  }
}

// One call on the state, hashed into h.
void call(Draw &d, korvane_ip_zelfft_v9_0_state *state, const korvane_ip_zelfft_v9_0_generics &g, Hash &h) {
  int nfft = g.C_NFFT_MAX;
  if (g.C_HAS_NFFT == 1) {
    nfft = d.in(legal_min(g), g.C_NFFT_MAX);
  } else if (d.one_in(6)) {
    nfft = d.in(3, g.C_NFFT_MAX);  // ignored, with a warning when it differs
  }
  const int n = 1 << (g.C_HAS_NFFT == 1 ? nfft : g.C_NFFT_MAX);
  std::vector<double> xr(static_cast<size_t>(n)), xi(static_cast<size_t>(n));
  // The block's character: mostly one kind of sample, a few of another.
  const int main_kind = g.C_USE_FLT_PT == 1 ? (d.one_in(4) ? 1 : 0) : d.in(0, 2);
  const int rare_kind = d.in(0, 3);
  const int rare_every = d.in(2, 200);
  for (int i = 0; i < n; ++i) {
    for (double *x : {&xr[static_cast<size_t>(i)], &xi[static_cast<size_t>(i)]}) {
      const int kind = d.one_in(rare_every) ? rare_kind : main_kind;
      *x = g.C_USE_FLT_PT == 1 ? float_sample(d, kind) : fixed_sample(d, kind, g.C_INPUT_WIDTH);
    }
  }
  if (g.C_USE_FLT_PT == 0 && d.one_in(10)) xr[static_cast<size_t>(d.in(0, n - 1))] = 1.0;  // code 10
  const int stages = g.C_ARCH == 1 || g.C_ARCH == 3 ? (nfft + 1) / 2 : nfft;
  std::vector<int32_t> sch(static_cast<size_t>(stages));
  for (int32_t &v : sch) v = d.in(0, 3);
  if ((g.C_ARCH == 1 || g.C_ARCH == 3) && (nfft & 1) == 1 && !d.one_in(12)) sch.back() &= 1;
  const int direction = d.one_in(25) ? 2 : d.in(0, 1);

  std::vector<double> yr(static_cast<size_t>(n), 7.0), yi(static_cast<size_t>(n), 7.0);
  korvane_ip_zelfft_v9_0_inputs in{nfft, xr.data(), n, xi.data(), n, sch.data(), stages, direction};
  korvane_ip_zelfft_v9_0_outputs out{yr.data(), n, yi.data(), n, -5, -5};
  testsupport::StderrCapture cap;
  const int code = korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &out);
  h.text(cap.text());
  h.i64(code);
  h.i64(out.xk_re_size);
  h.i64(out.block_exp);
  h.i64(out.overflow);
  for (int i = 0; i < n; ++i) {
    h.f64(yr[static_cast<size_t>(i)]);
    h.f64(yi[static_cast<size_t>(i)]);
    h.f64(xr[static_cast<size_t>(i)]);
    h.f64(xi[static_cast<size_t>(i)]);
  }
}

TEST(GoldenOutputs, EveryConfigurationHashesAsRecorded) {
  Draw d{std::mt19937_64(kSeed)};
  std::vector<uint32_t> recorded;
  for (size_t i = 0; i + 8 <= sizeof kRecorded - 1; i += 9) {
    recorded.push_back(static_cast<uint32_t>(std::stoul(std::string(kRecorded + i, 8), nullptr, 16)));
  }
  std::string table;
  int mismatches = 0;
  for (int c = 0; c < kConfigs; ++c) {
    const korvane_ip_zelfft_v9_0_generics g = draw_generics(d);
    korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(g);
    ASSERT_NE(state, nullptr) << describe(g);
    Hash h;
    const int calls = d.in(1, 3);  // repeated calls on one state
    for (int k = 0; k < calls; ++k) call(d, state, g, h);
    korvane_ip_zelfft_v9_0_destroy_state(state);
    const uint32_t got = static_cast<uint32_t>(h.h);
    char hex[10];
    std::snprintf(hex, sizeof hex, "%08x%s", got, (c + 1) % 8 == 0 ? "\n" : " ");
    table += hex;
    if (static_cast<size_t>(c) >= recorded.size() || recorded[static_cast<size_t>(c)] != got) {
      if (++mismatches <= 10) {
        ADD_FAILURE() << "seed " << kSeed << " configuration " << c << " (" << describe(g) << ", " << calls
                      << " calls): hash " << hex;
      }
    }
  }
  if (mismatches > 0) std::printf("hashes of this build:\n%s\n", table.c_str());
}

}  // namespace
