// Fuzz target of brevant's C interface. An input decodes to a generics record
// (valid fields mostly, any 32-bit value sometimes) and up to three simulate
// calls on the state (lengths, sizes, null arrays, schedules, directions and
// samples on and off the grid, out of range, infinite, NaN and subnormal).
// Besides surviving, every call must keep the interface's promises:
//   - create_state gives a state and prints nothing, or NULL after exactly
//     one "ERROR:zelfft_v9_0:create_state" line;
//   - simulate returns 0 exactly when every argument is acceptable, else a
//     code in 1..23 after exactly one error line (the nfft warning may come
//     first), with outputs and inputs untouched;
//   - a success prints only the warnings its samples call for, writes N
//     results and nothing beyond, and its words lie on their grid and in
//     their range (fixed point), or carry 24 significant bits, become
//     infinities only with the overflow flag, or are all the invalidation NaN
//     (floating point); inputs change only where a subnormal became +0.0;
//   - a state that ran other calls before gives what a fresh state gives;
//   - the pair seam of programs built with the model (brevant_stream.h),
//     given the same call with samples and results as interleaved pairs,
//     declines it having said and written nothing exactly when the core is
//     a floating-point one or a sample lies out of range or off the grid,
//     and otherwise gives the call's very code, lines, results and flags.
#include "brevant.h"
#include "brevant_stream.h"
#include "fuzz_input.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace zelfuzz;
using Generics = korvane_ip_zelfft_v9_0_generics;
using State = korvane_ip_zelfft_v9_0_state;

constexpr const char *kTarget = "fft_fuzz";
constexpr double kSingleMax = 3.4028234663852886e38;
constexpr double kSingleMidpoint = 0x1.ffffffp127;  // from here up a double rounds to a single infinity
constexpr uint64_t kInvalidationNaN = 0x7FFFFFFFE0000000ull;
constexpr uint64_t kSentinel = 0x7FF4DEADBEEF0001ull;  // a NaN no result can be
constexpr int32_t kUnset = -12345;

void check(bool ok, const char *what, long long a = 0, long long b = 0) {
  if (!ok) fail(kTarget, what, a, b);
}

// The library writes its lines to std::cerr: collect them while this lives.
class CerrCapture {
 public:
  CerrCapture() : old_(std::cerr.rdbuf(buf_.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(old_); }
  CerrCapture(const CerrCapture &) = delete;
  CerrCapture &operator=(const CerrCapture &) = delete;
  std::string text() const { return buf_.str(); }

 private:
  std::ostringstream buf_;
  std::streambuf *old_;
};

std::vector<std::string> lines_of(const std::string &text) {
  check(text.empty() || text.back() == '\n', "a message line without its newline");
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

bool starts_with(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

struct StateDeleter {
  void operator()(State *s) const { korvane_ip_zelfft_v9_0_destroy_state(s); }
};
using StatePtr = std::unique_ptr<State, StateDeleter>;

int32_t raw_or(Input &in, int32_t value) { return in.rarely(10) ? static_cast<int32_t>(in.u32()) : value; }

Generics decode_generics(Input &in) {
  Generics g;
  g.C_NFFT_MAX = raw_or(in, in.range(3, 11));  // longer transforms only slow the search down
  g.C_ARCH = raw_or(in, in.range(1, 4));
  g.C_HAS_NFFT = raw_or(in, in.range(0, 1));
  g.C_USE_FLT_PT = raw_or(in, in.u8() < 90 ? 1 : 0);
  g.C_INPUT_WIDTH = raw_or(in, g.C_USE_FLT_PT == 1 && !in.rarely() ? 32 : in.range(8, 34));
  g.C_TWIDDLE_WIDTH = raw_or(in, in.range(8, 34));
  g.C_HAS_SCALING = raw_or(in, in.range(0, 1));
  g.C_HAS_BFP = raw_or(in, in.range(0, 1));
  g.C_HAS_ROUNDING = raw_or(in, in.range(0, 1));
  std::snprintf(context(), 512, "nfft_max %d arch %d has_nfft %d float %d width %d twiddle %d scaling %d bfp %d round %d",
                g.C_NFFT_MAX, g.C_ARCH, g.C_HAS_NFFT, g.C_USE_FLT_PT, g.C_INPUT_WIDTH, g.C_TWIDDLE_WIDTH,
                g.C_HAS_SCALING, g.C_HAS_BFP, g.C_HAS_ROUNDING);
  return g;
}

// One simulate call: its arguments, kept so that it can be repeated.
struct Call {
  korvane_ip_zelfft_v9_0_inputs in{};
  std::vector<double> re, im;
  std::vector<int32_t> schedule;
  bool null_re = false, null_im = false, null_schedule = false, null_outputs = false;
  bool null_xk_re = false, null_xk_im = false;
  int32_t xk_re_size = 0, xk_im_size = 0;
  size_t xk_re_cap = 0, xk_im_cap = 0;
  int length = 8;  // N the call asks for (8 when its nfft is unusable)
};

struct Outcome {
  int code = -1;
  std::string err;
  korvane_ip_zelfft_v9_0_outputs out{};
  std::vector<double> xk_re, xk_im;
  std::vector<double> re_after, im_after;
};

void fill_samples(std::vector<double> &v, Input &in, const Generics &g) {
  Mix mix(in.u64());
  const int mode = in.range(0, 4);
  const int w = std::clamp(g.C_INPUT_WIDTH, 2, 53);
  for (double &x : v) {
    const uint64_t r = mix.next();
    switch (mode) {
      case 0:  // on the input grid
        x = std::ldexp(static_cast<double>(static_cast<int64_t>(r) >> (64 - w)), 1 - w);
        break;
      case 1:  // anywhere in [-1, 1)
        x = std::ldexp(static_cast<double>(static_cast<int64_t>(r) >> 11), -52);
        break;
      case 2:  // floating-point data of any scale, subnormals and infinities included
        x = std::ldexp(static_cast<double>(static_cast<int64_t>(r) >> 40), static_cast<int>(r % 300) - 170);
        break;
      case 3: std::memcpy(&x, &r, sizeof x); break;
      default: x = (r & 7) == 0 ? special_double(static_cast<unsigned>(r >> 8)) : 0.0; break;
    }
  }
  for (int patches = in.range(0, 6); patches > 0; --patches) {
    const uint32_t at = in.u32();
    v[at % v.size()] = special_double(in.u8());
  }
}

Call decode_call(Input &in, const Generics &g) {
  Call c;
  const int nfft_max = g.C_NFFT_MAX;
  if (g.C_HAS_NFFT == 1) {
    c.in.nfft = in.rarely() ? static_cast<int32_t>(in.u32() % 40) - 10 : in.range(3, std::clamp(nfft_max, 3, 11));
  } else {
    c.in.nfft = in.rarely() ? static_cast<int32_t>(in.u32()) : nfft_max;
  }
  const int e = g.C_HAS_NFFT == 1 ? c.in.nfft : nfft_max;
  if (e >= 3 && e <= 16) c.length = 1 << e;
  const int n = c.length;
  const auto size_for = [&](int32_t good) -> int32_t {
    if (!in.rarely()) return good;
    switch (in.range(0, 3)) {
      case 0: return good - 1;
      case 1: return good + 1;
      case 2: return 0;
      default: return static_cast<int32_t>(in.u32());
    }
  };
  c.re.resize(n);
  c.im.resize(n);
  fill_samples(c.re, in, g);
  fill_samples(c.im, in, g);
  c.null_re = in.rarely(8);
  c.null_im = in.rarely(8);
  c.in.xn_re_size = size_for(n);
  c.in.xn_im_size = size_for(n);

  const int usable = std::clamp(e, 0, 16);  // a state exists only for these
  const int stages = (g.C_ARCH == 1 || g.C_ARCH == 3) ? (usable + 1) / 2 : usable;
  c.in.scaling_sch_size = size_for(stages);
  c.schedule.resize(std::max(stages, 1));
  for (int32_t &s : c.schedule) s = in.rarely(8) ? static_cast<int32_t>(in.u32()) : in.range(0, 3);
  c.null_schedule = in.rarely(8);
  c.in.direction = in.rarely(8) ? static_cast<int32_t>(in.u32()) : in.range(0, 1);

  c.null_outputs = in.rarely(6);
  c.null_xk_re = in.rarely(6);
  c.null_xk_im = in.rarely(6);
  c.xk_re_cap = n + in.range(0, 2);
  c.xk_im_cap = n + in.range(0, 2);
  c.xk_re_size = size_for(static_cast<int32_t>(c.xk_re_cap));
  c.xk_im_size = size_for(static_cast<int32_t>(c.xk_im_cap));
  // A capacity the caller states must be real: the library writes N elements.
  if (c.xk_re_size > 0 && c.xk_re_size < (1 << 17)) c.xk_re_cap = std::max<size_t>(c.xk_re_cap, c.xk_re_size);
  if (c.xk_im_size > 0 && c.xk_im_size < (1 << 17)) c.xk_im_cap = std::max<size_t>(c.xk_im_cap, c.xk_im_size);
  return c;
}

Outcome run(State *state, const Call &c) {
  Outcome o;
  o.re_after = c.re;  // the call's own copies: the library may zero subnormals in them
  o.im_after = c.im;
  std::vector<int32_t> schedule = c.schedule;
  o.xk_re.assign(c.xk_re_cap, 0.0);
  o.xk_im.assign(c.xk_im_cap, 0.0);
  for (double &x : o.xk_re) std::memcpy(&x, &kSentinel, sizeof x);
  for (double &x : o.xk_im) std::memcpy(&x, &kSentinel, sizeof x);
  korvane_ip_zelfft_v9_0_inputs in = c.in;
  in.xn_re = c.null_re ? nullptr : o.re_after.data();
  in.xn_im = c.null_im ? nullptr : o.im_after.data();
  in.scaling_sch = c.null_schedule ? nullptr : schedule.data();
  o.out = {c.null_xk_re ? nullptr : o.xk_re.data(), c.xk_re_size, c.null_xk_im ? nullptr : o.xk_im.data(),
           c.xk_im_size, kUnset, kUnset};
  {
    CerrCapture cap;
    o.code = korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, c.null_outputs ? nullptr : &o.out);
    o.err = cap.text();
  }
  check(schedule == c.schedule, "the schedule changed");
  return o;
}

bool single_subnormal(double x) {
  const double a = std::fabs(x);
  if (!(a <= kSingleMax)) return false;
  const float f = static_cast<float>(x);
  return f != 0 && std::fabs(f) < std::numeric_limits<float>::min();
}

bool single_inf_or_nan(double x) { return std::isnan(x) || std::fabs(x) >= kSingleMidpoint; }

bool sample_ok(const Generics &g, double x) {
  if (g.C_USE_FLT_PT == 0) return x >= -1.0 && x < 1.0;
  return !(std::fabs(x) > kSingleMax && std::fabs(x) < kSingleMidpoint);
}

// Whether every argument of the call is acceptable, from the rules a host
// reads in the header and README (an independent statement of them).
bool acceptable(const Generics &g, const Call &c, bool has_state) {
  if (!has_state || c.null_outputs) return false;
  const int e = g.C_HAS_NFFT == 1 ? c.in.nfft : g.C_NFFT_MAX;
  if (e < (g.C_ARCH == 1 ? 6 : 3) || e > g.C_NFFT_MAX) return false;
  const int n = 1 << e;
  if (c.null_re || c.null_im || c.in.xn_re_size != n || c.in.xn_im_size != n) return false;
  for (int i = 0; i < n; ++i)
    if (!sample_ok(g, c.re[i]) || !sample_ok(g, c.im[i])) return false;
  if (g.C_HAS_SCALING == 1 && g.C_HAS_BFP == 0 && g.C_USE_FLT_PT == 0) {
    const bool four = g.C_ARCH == 1 || g.C_ARCH == 3;
    const int stages = four ? (e + 1) / 2 : e;
    if (c.null_schedule || c.in.scaling_sch_size != stages) return false;
    for (int i = 0; i < stages; ++i)
      if (c.schedule[i] < 0 || c.schedule[i] > 3) return false;
    if (four && (e & 1) == 1 && c.schedule[stages - 1] > 1) return false;
  }
  if (c.in.direction != 0 && c.in.direction != 1) return false;
  return !c.null_xk_re && !c.null_xk_im && c.xk_re_size >= n && c.xk_im_size >= n;
}

void check_inputs_unchanged(const Call &c, const Outcome &o, bool float_success) {
  for (size_t i = 0; i < c.re.size(); ++i) {
    for (const auto &[given, after] : {std::pair{c.re[i], o.re_after[i]}, std::pair{c.im[i], o.im_after[i]}}) {
      const double expect = float_success && single_subnormal(given) ? +0.0 : given;
      check(bits_of(after) == bits_of(expect), "an input sample changed", static_cast<long long>(i));
    }
  }
}

void check_untouched(const Outcome &o, size_t from) {
  for (size_t k = from; k < o.xk_re.size(); ++k) check(bits_of(o.xk_re[k]) == kSentinel, "xk_re written", k);
  for (size_t k = from; k < o.xk_im.size(); ++k) check(bits_of(o.xk_im[k]) == kSentinel, "xk_im written", k);
}

void check_failure(const Generics &g, const Call &c, const Outcome &o) {
  check(o.code >= 1 && o.code <= 23, "simulate code outside 1..23", o.code);
  const std::vector<std::string> lines = lines_of(o.err);
  check(!lines.empty() && starts_with(lines.back(), "ERROR:zelfft_v9_0:simulate called with "),
        "a failure without its error line", o.code);
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    check(starts_with(lines[i], "WARNING:zelfft_v9_0:simulate called with nfft input = "),
          "a failure with more than its error line", o.code);
  check(lines.size() <= (g.C_HAS_NFFT == 0 && c.in.nfft != g.C_NFFT_MAX ? 2u : 1u), "repeated lines", o.code);
  check(o.out.block_exp == kUnset && o.out.overflow == kUnset && o.out.xk_re_size == c.xk_re_size &&
            o.out.xk_im_size == c.xk_im_size,
        "a failure changed the outputs record", o.code);
  check_untouched(o, 0);
  check_inputs_unchanged(c, o, false);
}

std::string float_warnings(const Call &c, int n) {
  std::string w;
  const std::string p = "WARNING:zelfft_v9_0:simulate called with ";
  for (int i = 0; i < n; ++i) {
    if (single_subnormal(c.re[i])) w += p + "a denormalized real data value, this value will be set to zero\n";
    if (single_subnormal(c.im[i])) w += p + "a denormalized imag data value, this value will be set to zero\n";
    if (single_inf_or_nan(c.re[i])) w += p + "real data values set to inf or NaN, output will be invalidated\n";
    if (single_inf_or_nan(c.im[i])) w += p + "imag data values set to inf or NaN, output will be invalidated\n";
  }
  return w;
}

void check_success(const Generics &g, const Call &c, const Outcome &o) {
  const int e = g.C_HAS_NFFT == 1 ? c.in.nfft : g.C_NFFT_MAX;
  const int n = 1 << e;
  check(o.out.xk_re_size == n && o.out.xk_im_size == n, "sizes not N on success");
  check(o.out.overflow == 0 || o.out.overflow == 1, "overflow flag not 0 or 1", o.out.overflow);
  check_untouched(o, n);
  const bool floating = g.C_USE_FLT_PT == 1;
  check_inputs_unchanged(c, o, floating);

  std::string expect_err;
  if (g.C_HAS_NFFT == 0 && c.in.nfft != g.C_NFFT_MAX) {
    std::vector<std::string> lines = lines_of(o.err);
    check(!lines.empty() && starts_with(lines[0], "WARNING:zelfft_v9_0:simulate called with nfft input = "),
          "the nfft warning is missing");
    expect_err = lines[0] + "\n";
  }
  if (floating) {
    expect_err += float_warnings(c, n);
    check(o.err == expect_err, "floating-point warnings differ from the samples");
    check(o.out.block_exp == 0, "block_exp in floating-point mode", o.out.block_exp);
    bool invalid = false;
    for (int i = 0; i < n; ++i) invalid = invalid || single_inf_or_nan(c.re[i]) || single_inf_or_nan(c.im[i]);
    bool infinite = false;
    for (int k = 0; k < n; ++k) {
      for (double v : {o.xk_re[k], o.xk_im[k]}) {
        if (invalid) {
          check(bits_of(v) == kInvalidationNaN, "an invalid block gave a result other than its NaN", k);
          continue;
        }
        check(!std::isnan(v), "a NaN result from a valid block", k);
        if (std::isinf(v)) {
          infinite = true;
          continue;
        }
        check(std::fabs(v) <= kSingleMax, "a finite result beyond the single range", k);
        int ex = 0;
        const double m = std::frexp(v, &ex);
        check(std::ldexp(m, 24) == std::floor(std::ldexp(m, 24)), "a result with more than 24 significant bits", k);
      }
    }
    if (invalid) check(o.out.overflow == 0, "an invalid block reported overflow");
    if (infinite) check(o.out.overflow == 1, "an infinite result without the overflow flag");
    return;
  }

  const std::vector<std::string> lines = lines_of(o.err);
  const double s = std::ldexp(1.0, g.C_INPUT_WIDTH - 1);
  bool off_grid = false;
  for (int i = 0; i < n && !off_grid; ++i)
    off_grid = std::floor(s * c.re[i]) != s * c.re[i] || std::floor(s * c.im[i]) != s * c.im[i];
  if (off_grid) {
    check(!lines.empty() && starts_with(lines.back(), "WARNING:zelfft_v9_0:simulate called with real and/or "
                                                      "imaginary data values that are not pre-quantized"),
          "the pre-quantisation warning is missing");
    expect_err += lines.back() + "\n";
  }
  check(o.err == expect_err, "warnings differ from the samples");
  // Results are words of C_INPUT_WIDTH - 1 fraction bits, with C_NFFT_MAX + 1
  // more integer bits when unscaled (full growth, never overflowing). The
  // pipelined core's memory words keep one integer bit more than its data
  // words, so a scheduled run can return values in [-2, 2); any beyond
  // [-1, 1) were flagged by its last stage.
  const bool scheduled = g.C_HAS_SCALING == 1 && g.C_HAS_BFP == 0;
  const double top = g.C_HAS_SCALING == 0 ? std::ldexp(1.0, g.C_NFFT_MAX + 1) : g.C_ARCH == 3 ? 2.0 : 1.0;
  for (int k = 0; k < n; ++k) {
    for (double v : {o.xk_re[k], o.xk_im[k]}) {
      check(std::isfinite(v) && v >= -top && v < top, "a fixed-point result out of its range (k, units)", k,
            static_cast<long long>(v * s));
      check(std::floor(v * s) == v * s, "a fixed-point result off its grid", k);
      if (scheduled && (v < -1.0 || v >= 1.0)) check(o.out.overflow == 1, "a result beyond [-1, 1) unflagged", k);
    }
  }
  const bool bfp = g.C_HAS_SCALING == 1 && g.C_HAS_BFP == 1;
  if (!bfp) check(o.out.block_exp == 0, "block_exp without block floating point", o.out.block_exp);
  if (bfp) check(o.out.block_exp >= 0 && o.out.block_exp <= 3 * e, "block_exp out of range", o.out.block_exp);
  if (g.C_HAS_SCALING == 0 || bfp) check(o.out.overflow == 0, "overflow of a core that cannot overflow");
}

bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

}  // namespace

// The call through the pair seam, on a state of its own that runs the same
// calls, where the call can be put that way (one length for samples and
// results, all given).
void check_pairs(State *state, const Generics &g, const Call &c, const Outcome &o) {
  const int32_t n = c.in.xn_re_size;
  if (c.null_re || c.null_im || c.null_outputs || c.null_xk_re || c.null_xk_im || n < 0 || n != c.in.xn_im_size ||
      static_cast<size_t>(n) > c.re.size() || c.xk_re_size != n || c.xk_im_size != n)
    return;
  std::vector<double> x(2 * static_cast<size_t>(n) + 2), X(2 * static_cast<size_t>(n) + 2);
  for (double &v : X) std::memcpy(&v, &kSentinel, sizeof v);
  bool plain = g.C_USE_FLT_PT == 0;
  const double grid = std::ldexp(1.0, std::clamp(g.C_INPUT_WIDTH, 1, 60) - 1);
  for (int32_t k = 0; k < n; ++k) {
    x[2 * static_cast<size_t>(k)] = c.re[static_cast<size_t>(k)];
    x[2 * static_cast<size_t>(k) + 1] = c.im[static_cast<size_t>(k)];
  }
  for (size_t j = 0; j < 2 * static_cast<size_t>(n); ++j)
    plain = plain && x[j] >= -1.0 && x[j] < 1.0 && std::floor(x[j] * grid) == x[j] * grid;
  std::vector<int32_t> schedule = c.schedule;
  korvane_ip_zelfft_v9_0_inputs rest = c.in;
  rest.scaling_sch = c.null_schedule ? nullptr : schedule.data();
  korvane_ip_zelfft_v9_0_outputs out{nullptr, 0, nullptr, 0, kUnset, kUnset};
  std::ostringstream said;
  const int code = brevant::bitacc_simulate_pairs(state, x.data(), n, rest, X.data(), &out, said);
  if (code == brevant::kPairsDeclined) {
    check(!plain || state == nullptr, "the pair seam declined a plain frame");
    check(said.str().empty(), "the pair seam declined a frame and said something");
    for (size_t j = 0; j < X.size(); ++j) check(bits_of(X[j]) == kSentinel, "the pair seam declined and wrote", j);
    return;
  }
  check(plain && state != nullptr, "the pair seam took a frame to report or round");
  check(code == o.code && said.str() == o.err, "the pair seam's code or lines differ", code, o.code);
  if (code != 0) return;
  for (int32_t k = 0; k < n; ++k)
    check(bits_of(X[2 * static_cast<size_t>(k)]) == bits_of(o.xk_re[static_cast<size_t>(k)]) &&
              bits_of(X[2 * static_cast<size_t>(k) + 1]) == bits_of(o.xk_im[static_cast<size_t>(k)]),
          "the pair seam's results differ", k);
  check(out.block_exp == o.out.block_exp && out.overflow == o.out.overflow, "the pair seam's flags differ");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in(data, size);
  const Generics g = decode_generics(in);
  StatePtr state;
  {
    CerrCapture cap;
    state.reset(korvane_ip_zelfft_v9_0_create_state(g));
    const std::vector<std::string> lines = lines_of(cap.text());
    if (state) {
      check(lines.empty(), "create_state succeeded with a message");
    } else {
      check(lines.size() == 1 && starts_with(lines[0], "ERROR:zelfft_v9_0:create_state called with "),
            "create_state failed without exactly one error line", static_cast<long long>(lines.size()));
    }
  }
  StatePtr pair_state;
  {
    CerrCapture cap;
    pair_state.reset(korvane_ip_zelfft_v9_0_create_state(g));
  }
  const int calls = in.range(1, 3);
  for (int i = 0; i < calls; ++i) {
    const Call c = decode_call(in, g);
    const Outcome o = run(state.get(), c);
    check_pairs(pair_state.get(), g, c, o);
    const bool ok = acceptable(g, c, state != nullptr);
    check((o.code == 0) == ok, ok ? "acceptable arguments refused" : "unacceptable arguments accepted", o.code, i);
    if (o.code != 0) {
      check_failure(g, c, o);
      continue;
    }
    check_success(g, c, o);
    if (i == 0) continue;
    // The state ran other calls (maybe of other lengths) before this one.
    StatePtr fresh;
    {
      CerrCapture cap;
      fresh.reset(korvane_ip_zelfft_v9_0_create_state(g));
    }
    const Outcome f = run(fresh.get(), c);
    check(f.code == 0 && f.err == o.err && same_bits(f.xk_re, o.xk_re) && same_bits(f.xk_im, o.xk_im) &&
              f.out.block_exp == o.out.block_exp && f.out.overflow == o.out.overflow,
          "a reused state differs from a fresh one", i);
  }
  return 0;
}
