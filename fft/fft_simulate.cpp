// simulate: one transform of one block through a model state.
//
// The engine seam. Loading and unloading differ per architecture only in
// where sample n goes and where X[k] is read, so there are two small transfer
// routines below (the burst engines, given their load order, and the
// pipelined engine). Every engine
// offers the same few members (see fft_base.h): take_length(settings),
// word_format(), datum(address), run(rom), and the FFT fields bfp_class,
// scaling_word, direction, total_shift, overflow and r4_address_mask; the
// pipelined engine adds word_width. The transfer routines are templates over
// the engine type, so an engine needs nothing else to be driven from here.
//
// The memories hold raw patterns: a sample is stored as the pattern the
// ZelFix assignment of its double into the word's format gives, and a
// result is read as that word's exact value (word_format.h). The burst
// engines address their memories by logical address; the bank and word the
// hardware uses for logical address A (digit_sum(A) & 3 and the radix-4
// word rule, or bit_sum(A) & 1 and A >> 1) hold the same datum.
#include "fft_simulate.h"

#include "fft_base.h"
#include "fft_float_interface.h"
#include "fft_quantise.h"
#include "fft_simd.h"
#include "fft_state.h"
#include "r22_pipeline.h"
#include "r2_loop.h"
#include "r4_loop.h"
#include "word_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace zelfft {

namespace {

using State = korvane_ip_zelfft_v9_0_state;
using Inputs = korvane_ip_zelfft_v9_0_inputs;
using Outputs = korvane_ip_zelfft_v9_0_outputs;

// Everything one call works on; `nfft` is the caller's value until the
// length rule has been applied, then the length of this transform.
struct Call {
  State *state;
  const Inputs &in;
  Outputs *out;
  int nfft = 0;
  int bad_index = 0;  // the element named by a failed element check
  // Fixed point: whether every sample of a part lies on the C_INPUT_WIDTH
  // grid, learnt by the range checks' pass over the samples.
  bool re_on_grid = true;
  bool im_on_grid = true;
  // Samples and results held as interleaved pairs (xn_im = xn_re + 1, xk_im
  // = xk_re + 1, both read and written two by two), of a frame whose parts
  // must all lie in [-1, 1) on the input grid. `scanned`: known to, before
  // the call; otherwise the loading pass checks them, and a frame that fails
  // is `declined` before anything is written or said (see simulate_pairs).
  bool pairs = false;
  bool scanned = true;
  mutable bool declined = false;

  const korvane_ip_zelfft_v9_0_generics &g() const { return state->generics; }
  int length() const { return 1 << nfft; }
  bool schedule_used() const {
    return g().C_HAS_SCALING == 1 && g().C_HAS_BFP == 0 && g().C_USE_FLT_PT == 0;
  }
  bool four_phase() const { return g().C_ARCH == 1 || g().C_ARCH == 3; }  // schedule per radix-4 stage
};

// Whether a sample is out of range for the data interface of the state.
bool bad_sample(const Call &c, double x) {
  if (c.state->settings.use_flt_pt == 0) return !(x >= -1.0 && x < 1.0);  // NaN fails too
  return outside_single_range(x);
}

bool find_bad_sample(Call &c, const double *xs, bool &on_grid) {
  if (c.pairs) return false;  // scanned whole before the checks
  if (c.state->settings.use_flt_pt == 0) {
    // One vector pass over the part first, which also learns whether the
    // part lies on the input grid; the element is searched for only when
    // there is one out of range. A sample x within [-1, 1) is on the grid
    // when s * x is a whole number.
    const simd::SampleScan scan = simd::scan_samples(xs, c.length(), std::ldexp(1.0, c.g().C_INPUT_WIDTH - 1));
    on_grid = scan.on_grid;
    if (scan.in_range) return false;
  }
  for (int i = 0; i < c.length(); ++i) {
    if (bad_sample(c, xs[i])) {
      c.bad_index = i;
      return true;
    }
  }
  return false;
}

void say_bad_sample(const Call &c, std::ostream &err, const char *kind, const char *name, double x) {
  err << "ERROR:zelfft_v9_0:simulate called with invalid " << kind << " data value: " << name << "["
      << c.bad_index << "] = " << x << ": all values must be in the range ";
  if (c.state->settings.use_flt_pt == 0) {
    err << "-1.0 <= data < 1.0" << std::endl;
  } else {
    err << static_cast<float>(-kSingleMax) << "< data < " << static_cast<float>(kSingleMax) << std::endl;
  }
}

const FFT *engine_of(const State &s, int arch) {
  switch (arch) {
    case 1: return s.r4_engine.get();
    case 2:
    case 4: return s.r2_engine.get();
    case 3: return s.r22_engine.get();
    default: return nullptr;
  }
}

// Step 3's length rule. Not a check of its own: it prints the nfft warning,
// which can precede a later error.
bool resolve_length(Call &c, std::ostream &err) {
  if (c.g().C_HAS_NFFT == 0) {
    if (c.in.nfft != c.g().C_NFFT_MAX) {
      err << "WARNING:zelfft_v9_0:simulate called with nfft input = " << c.in.nfft
          << ", different from C_NFFT_MAX = " << c.g().C_NFFT_MAX
          << ", which is not permitted when C_HAS_NFFT is 0.  The nfft input will be ignored and "
             "C_NFFT_MAX used instead."
          << std::endl;
    }
    c.nfft = c.g().C_NFFT_MAX;
  } else {
    c.nfft = c.in.nfft;
  }
  return false;
}

bool nfft_out_of(const Call &c, int lo) {
  return c.nfft < lo || c.nfft > c.g().C_NFFT_MAX;
}

struct Check {
  int code;  // 0: the length rule, which never fails
  bool (*fails)(Call &, std::ostream &);
  void (*say)(const Call &, std::ostream &);
};

#define ZEL_ERR "ERROR:zelfft_v9_0:simulate called with "

// The ordered checks: the first that fails prints its line and its code is
// returned. Later rows may rely on earlier ones having passed.
const Check kChecks[] = {
    {1, [](Call &c, std::ostream &) { return c.state == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null state structure" << std::endl; }},
    {2, [](Call &c, std::ostream &) { return c.out == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null output structure" << std::endl; }},
    {3, [](Call &c, std::ostream &) { return c.g().C_ARCH == 1 && !c.state->r4_engine; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "corrupted state structure" << std::endl; }},
    {4, [](Call &c, std::ostream &) { return (c.g().C_ARCH == 2 || c.g().C_ARCH == 4) && !c.state->r2_engine; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "corrupted state structure" << std::endl; }},
    {5, [](Call &c, std::ostream &) { return c.g().C_ARCH == 3 && !c.state->r22_engine; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "corrupted state structure" << std::endl; }},
    // A state whose architecture is none of the four has no engine either,
    // and one without its twiddle table cannot run.
    {3,
     [](Call &c, std::ostream &) {
       return engine_of(*c.state, c.g().C_ARCH) == nullptr || !c.state->twiddle_rom;
     },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "corrupted state structure" << std::endl; }},
    {0, resolve_length, nullptr},
    {6, [](Call &c, std::ostream &) { return c.g().C_HAS_NFFT == 1 && c.g().C_ARCH == 1 && nfft_out_of(c, 6); },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "nfft input " << c.in.nfft << " out of legal range 6 to C_NFFT_MAX" << std::endl;
     }},
    {7, [](Call &c, std::ostream &) { return c.g().C_HAS_NFFT == 1 && c.g().C_ARCH != 1 && nfft_out_of(c, 3); },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "nfft input " << c.in.nfft << " out of legal range 3 to C_NFFT_MAX" << std::endl;
     }},
    {8, [](Call &c, std::ostream &) { return c.in.xn_re == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null pointer for xn_re input" << std::endl; }},
    {9, [](Call &c, std::ostream &) { return c.in.xn_re_size != c.length(); },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "incorrect xn_re_size input " << c.in.xn_re_size << ": must be 2^nfft = " << c.length()
         << std::endl;
     }},
    {10, [](Call &c, std::ostream &) { return find_bad_sample(c, c.in.xn_re, c.re_on_grid); },
     [](const Call &c, std::ostream &e) { say_bad_sample(c, e, "real", "xn_re", c.in.xn_re[c.bad_index]); }},
    {11, [](Call &c, std::ostream &) { return c.in.xn_im == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null pointer for xn_im input" << std::endl; }},
    {12, [](Call &c, std::ostream &) { return c.in.xn_im_size != c.length(); },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "incorrect xn_im_size input " << c.in.xn_im_size << ": must be 2^nfft = " << c.length()
         << std::endl;
     }},
    {13, [](Call &c, std::ostream &) { return find_bad_sample(c, c.in.xn_im, c.im_on_grid); },
     [](const Call &c, std::ostream &e) {
       say_bad_sample(c, e, "imaginary", "xn_im", c.in.xn_im[c.bad_index]);
     }},
    {14, [](Call &c, std::ostream &) { return c.schedule_used() && c.in.scaling_sch == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null pointer for scaling_sch input" << std::endl; }},
    {15,
     [](Call &c, std::ostream &) {
       return c.schedule_used() && c.four_phase() && c.in.scaling_sch_size != (c.nfft + 1) / 2;
     },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "incorrect scaling_sch_size input " << c.in.scaling_sch_size
         << ": must be ceil(nfft/2) = " << (c.nfft + 1) / 2 << std::endl;
     }},
    {16,
     [](Call &c, std::ostream &) {
       return c.schedule_used() && !c.four_phase() && c.in.scaling_sch_size != c.nfft;
     },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "incorrect scaling_sch_size input " << c.in.scaling_sch_size << ": must be nfft = " << c.nfft
         << std::endl;
     }},
    {17,
     [](Call &c, std::ostream &) {
       if (!c.schedule_used()) return false;
       for (int i = 0; i < c.in.scaling_sch_size; ++i) {
         if (c.in.scaling_sch[i] < 0 || c.in.scaling_sch[i] > 3) {
           c.bad_index = i;
           return true;
         }
       }
       return false;
     },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "invalid scaling value: scaling_sch[" << c.bad_index << "] = " << c.in.scaling_sch[c.bad_index]
         << ": all values must be in the range 0 to 3" << std::endl;
     }},
    {18,
     [](Call &c, std::ostream &) {
       return c.schedule_used() && c.four_phase() && (c.nfft & 1) == 1 &&
              c.in.scaling_sch[c.in.scaling_sch_size - 1] > 1;
     },
     [](const Call &c, std::ostream &e) {
       const int last = c.in.scaling_sch_size - 1;
       e << ZEL_ERR "invalid scaling value: scaling value in the final stage, scaling_sch[" << last
         << "] = " << c.in.scaling_sch[last]
         << ": when C_ARCH = 1 (Radix-4, Burst I/O architecture) or C_ARCH = 3 (Pipelined, Streaming I/O "
            "architecture) and nfft is odd, the final stage scaling value must be 0 or 1"
         << std::endl;
     }},
    {19, [](Call &c, std::ostream &) { return c.in.direction != 0 && c.in.direction != 1; },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "invalid direction input " << c.in.direction << ": must be 0 or 1" << std::endl;
     }},
    {20, [](Call &c, std::ostream &) { return c.out->xk_re == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null pointer for xk_re output" << std::endl; }},
    {21, [](Call &c, std::ostream &) { return c.out->xk_im == nullptr; },
     [](const Call &, std::ostream &e) { e << ZEL_ERR "null pointer for xk_im output" << std::endl; }},
    {22, [](Call &c, std::ostream &) { return c.out->xk_re_size < c.length(); },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "too small a value for xk_re_size in outputs structure " << c.out->xk_re_size
         << ": must be at least 2^nfft = " << c.length() << std::endl;
     }},
    {23, [](Call &c, std::ostream &) { return c.out->xk_im_size < c.length(); },
     [](const Call &c, std::ostream &e) {
       e << ZEL_ERR "too small a value for xk_im_size in outputs structure " << c.out->xk_im_size
         << ": must be at least 2^nfft = " << c.length() << std::endl;
     }},
};

#undef ZEL_ERR

// ---------------------------------------------------------------------------
// Input preparation: the value each sample takes on its way into the engine.

struct SamplePrep {
  enum Mode { kAsIs, kQuantise, kFloat } mode = kAsIs;
  int bits = 0;      // internal_input_width
  int exponent = 0;  // floating point: the block's common exponent
  bool plain = false;  // floating point: no sample infinite or NaN
  double prepare(double x) const {
    switch (mode) {
      case kQuantise: return quantise_input(x, bits, 0);
      case kFloat: return scale_float_input(x, exponent, bits);
      default: return x;
    }
  }
};

// Fixed point: a sample off the C_INPUT_WIDTH grid makes the whole block
// round to that grid (the range checks' pass has looked).
SamplePrep prepare_fixed(const Call &c, std::ostream &err) {
  SamplePrep prep;
  prep.bits = c.state->settings.internal_input_width;
  if (!(c.re_on_grid && c.im_on_grid)) {
    prep.mode = SamplePrep::kQuantise;
    err << "WARNING:zelfft_v9_0:simulate called with real and/or imaginary data values that are not "
           "pre-quantized to signed two's-complement fixed-point values of precision C_INPUT_WIDTH = "
        << c.g().C_INPUT_WIDTH
        << " bits.  All real and imaginary data will be internally rounded to the nearest "
           "quantization level for this precision (using convergent rounding to nearest even)."
        << std::endl;
  }
  return prep;
}

// ---------------------------------------------------------------------------
// Loading, running and unloading, per architecture.

template <class Engine>
void set_controls(Engine &e, const Call &c) {
  const FftSettings &s = c.state->settings;
  if (s.has_scaling == 1 && s.has_bfp == 0) {
    // Unsigned: sixteen radix-2 stages fill all 32 bits.
    uint32_t word = 0;
    for (int i = c.in.scaling_sch_size - 1; i >= 0; --i) word = word * 4u + static_cast<uint32_t>(c.in.scaling_sch[i]);
    e.scaling_word = word;
  }
  e.direction = c.in.direction;
}

template <class Engine>
void finish(Engine &e, Outputs &out) {
  out.block_exp = e.total_shift;
  out.overflow = e.overflow;
}

// The engine's transfer order for this length, built once per length:
// entry index(n) is n.
template <class Engine, class Index>
const int32_t *transfer_order(Engine &e, int n_len, Index index) {
  if (e.transfer_order_length != n_len) {
    e.transfer_order.resize(static_cast<size_t>(n_len));
    for (int n = 0; n < n_len; ++n) e.transfer_order[static_cast<size_t>(index(n))] = n;
    e.transfer_order_length = n_len;
  }
  return e.transfer_order.data();
}

// Word n := sample n, prepared and multiplied by `divide`, in the word
// format; returns the largest v ^ (v >> 63) over the parts stored, from
// which the block's smallest sign headroom follows (the headroom only
// shrinks as that grows).
int64_t convert_samples(const Call &c, const SamplePrep &prep, const WordFormat &f, double divide,
                        RawComplex *words) {
  const int n_len = c.length();
  const double *xr = c.in.xn_re;
  const double *xi = c.in.xn_im;
  if (prep.mode == SamplePrep::kAsIs) {
    // Samples within [-1, 1), scaled by at most 2^52: the vector pass's
    // floor and wrap are the assignment's.
    if (c.pairs) {
      const double scale = divide / f.value(1);
      if (c.scanned) return simd::load_pairs(xr, n_len, scale, f.width(), words);
      const double grid = std::ldexp(1.0, c.g().C_INPUT_WIDTH - 1);
      bool plain = true;
      if (scale >= grid && scale <= std::ldexp(1.0, f.width() - 1)) {
        // The words hold the grid's bits and m more, and no in-range sample
        // wraps: one pass loads and checks.
        const auto off_grid = static_cast<int64_t>(scale / grid) - 1;
        const int64_t largest = simd::load_pairs_checked(xr, n_len, scale, f.width(), words, off_grid, &plain);
        if (plain) return largest;
      } else {
        const simd::SampleScan scan = simd::scan_samples(xr, 2 * n_len, grid);
        plain = scan.in_range && scan.on_grid;
        if (plain) return simd::load_pairs(xr, n_len, scale, f.width(), words);
      }
      c.declined = true;
      return 0;
    }
    return simd::load_words(xr, xi, n_len, divide / f.value(1), f.width(), nullptr, words);
  }
  if (prep.mode == SamplePrep::kFloat && prep.plain && prep.exponent >= -62 && prep.exponent <= 62) {
    // A valid block whose scaling takes one step: scale_float_input in
    // lanes, then the word's scale (the rounded sample is a multiple of
    // 2^-(bits-1): every factor is a power of two).
    const int64_t largest = simd::single_words(xr, xi, n_len, prep.exponent, prep.bits,
                                               std::ldexp(divide / f.value(1), 1 - prep.bits), f.width(), words);
    if (largest >= 0) return largest;
  }
  int64_t largest = 0;
  for (int n = 0; n < n_len; ++n) {
    const RawComplex w = f.pattern(prep.prepare(xr[n]) * divide, prep.prepare(xi[n]) * divide);
    words[n] = w;
    largest = std::max({largest, w.re ^ (w.re >> 63), w.im ^ (w.im >> 63)});
  }
  return largest;
}

// X[k] := memory[from[k]] (word k without `from`) as its exact value times
// `scale`, a power of two: the word's own scale, and for cores whose words
// carry more integer bits than the input, the growth to restore.
void unload_words(const Call &c, const RawComplex *memory, const int32_t *from, double scale, int n_len,
                  Outputs &out) {
  if (c.pairs) {
    simd::unload_pairs(memory, from, n_len, scale, out.xk_re);
    return;
  }
  simd::unload_words(memory, from, n_len, scale, out.xk_re, out.xk_im);
}

// The growth the fixed-point results get back: the unscaled cores' words
// (and the pipelined block-floating-point core's) carry C_NFFT_MAX + 1 more
// integer bits than the input, by which the loader divided.
double restored_growth(const Call &c) {
  const FftSettings &s = c.state->settings;
  if (s.use_flt_pt == 0 && (s.has_scaling == 0 || (s.arch == 3 && s.has_bfp == 1))) {
    return std::ldexp(1.0, c.g().C_NFFT_MAX + 1);
  }
  return 1.0;
}

// The burst engines: sample n goes to the logical address `load_address`(n)
// gives (radix-4: digit_reverse(n), in bank digit_sum & 3; radix-2:
// bit_reverse(n), that is bank bit_sum(n) & 1, word bit_reverse_short(n mod
// N/2)), measuring the input headroom for block floating point; X[k] is read
// from logical address k.
template <class Engine, class LoadAddress>
void transfer_burst(Engine &e, const Call &c, const SamplePrep &prep, TWIDDLE_ROM &rom, LoadAddress load_address) {
  const FftSettings &s = c.state->settings;
  const int n_len = s.length;
  const double divide = s.has_scaling == 0 ? std::ldexp(1.0, -(s.internal_output_width - s.internal_input_width)) : 1.0;
  const WordFormat f = e.word_format();
  e.take_length(s);
  // The words are converted in sample order; the radix-4 engine takes them
  // from there itself (its first stage reads them where they are), the
  // radix-2 engine gets them moved to their load addresses.
  e.load_scratch.resize(static_cast<size_t>(n_len));
  const int64_t largest = convert_samples(c, prep, f, divide, e.load_scratch.data());
  if (c.declined) return;
  if constexpr (std::is_same_v<Engine, R4_loop>) {
    e.staged_input = true;
  } else {
    // Word a takes the sample whose load address is a.
    const int32_t *from = transfer_order(e, n_len, load_address);
    RawComplex *memory = &e.datum(0);
    for (int a = 0; a < n_len; ++a) memory[a] = e.load_scratch[static_cast<size_t>(from[a])];
  }
  e.bfp_class = std::min<int32_t>(32, FFT::sign_headroom(largest, f.width()));
  set_controls(e, c);
  e.run(rom);
  // The radix-4 run leaves its own address mask behind; the results are read
  // with the one of this length.
  if constexpr (std::is_same_v<Engine, R4_loop>) e.r4_address_mask = s.r4_address_mask;
  unload_words(c, &e.datum(0), nullptr, f.value(1) * restored_growth(c), n_len, *c.out);
  finish(e, *c.out);
}

// Pipelined: natural order in, bit-reversed order out of one memory. The
// block-floating-point core runs unscaled in words wider than the input, so
// its input is scaled down like an unscaled core's.
template <class Engine>
void transfer_pipelined(Engine &e, const Call &c, const SamplePrep &prep, TWIDDLE_ROM &rom) {
  const FftSettings &s = c.state->settings;
  const int n_len = s.length;
  const bool widened = s.has_scaling == 0 || s.has_bfp == 1;
  const double divide = widened ? std::ldexp(1.0, -(e.word_width - s.internal_input_width)) : 1.0;
  const WordFormat f = e.word_format();
  e.take_length(s);
  convert_samples(c, prep, f, divide, &e.datum(0));
  if (c.declined) return;  // the memory is loaded again by the call that takes the frame
  set_controls(e, c);
  e.run(rom);
  const int32_t *order = transfer_order(e, n_len, [&e](int k) { return e.bit_reverse(k); });
  unload_words(c, &e.datum(0), order, f.value(1) * restored_growth(c), n_len, *c.out);
  finish(e, *c.out);
}

void transfer(const Call &c, const SamplePrep &prep) {
  State &st = *c.state;
  TWIDDLE_ROM &rom = *st.twiddle_rom;
  // The engine pointers hold the type create_state built for C_ARCH (the
  // checks have made sure it is there).
  switch (st.generics.C_ARCH) {
    case 1: {
      R4_loop &e = static_cast<R4_loop &>(*st.r4_engine);
      transfer_burst(e, c, prep, rom, [&e](int n) { return e.digit_reverse(n); });
      break;
    }
    case 2:
    case 4: {
      R2_loop &e = static_cast<R2_loop &>(*st.r2_engine);
      transfer_burst(e, c, prep, rom, [&e](int n) { return e.bit_reverse(n); });
      break;
    }
    case 3: transfer_pipelined(static_cast<R22_pipeline &>(*st.r22_engine), c, prep, rom); break;
    default: break;
  }
}

int run_call(Call &c, std::ostream &err) {
  State *state = c.state;
  const Inputs &inputs = c.in;
  Outputs *outputs = c.out;
  for (const Check &check : kChecks) {
    if (check.fails(c, err)) {
      // A pair frame not yet scanned: one that holds a sample the two-array
      // call would report or round is declined, as that call may say more.
      if (c.pairs && !c.scanned) {
        const simd::SampleScan scan =
            simd::scan_samples(c.in.xn_re, 2 * c.in.xn_re_size, std::ldexp(1.0, c.g().C_INPUT_WIDTH - 1));
        if (!scan.in_range || !scan.on_grid) return kDeclined;
      }
      check.say(c, err);
      return check.code;
    }
  }
  const FftSettings &s = state->settings;
  const int n_len = c.length();
  const bool floating = s.use_flt_pt == 1;
  SamplePrep prep;
  FloatBlock block;
  if (floating) {
    // A block without subnormal, infinite or NaN samples (as singles) has
    // nothing to rewrite or warn about: its exponent follows from the
    // largest magnitude alone.
    double largest = 0.0;
    if (simd::plain_single_block(inputs.xn_re, inputs.xn_im, n_len, &largest)) {
      const double m = static_cast<double>(to_single(largest));
      if (m > 0) block.input_exponent = floor_log2_via_log10(m) + 1;
      prep.plain = true;
    } else {
      block = prepare_float_block(inputs.xn_re, inputs.xn_im, n_len, err);
      prep.plain = !block.invalid_data;
    }
    prep.mode = SamplePrep::kFloat;
    prep.bits = s.internal_input_width;
    prep.exponent = block.input_exponent;
  } else {
    prep = prepare_fixed(c, err);
  }
  fill_length_fields(state->settings, c.nfft);
  transfer(c, prep);
  if (c.declined) return kDeclined;

  if (floating) {
    // The pipelined core ran unscaled on inputs divided by 2^(C_NFFT_MAX+1);
    // the burst cores ran as block floating point.
    const int restore = s.has_scaling == 0 ? block.input_exponent + 1 + state->generics.C_NFFT_MAX
                                           : outputs->block_exp + block.input_exponent;
    if (!block.invalid_data && restore >= -62 && restore <= 62) {
      // The lanes finish what they can decide; the chunks they leave get
      // the element-by-element pass (each element is finished on its own).
      std::vector<int32_t> &pending = state->pending_chunks;
      pending.resize(static_cast<size_t>(n_len));
      int chunk = 1;
      const int count = simd::finish_singles(outputs->xk_re, outputs->xk_im, n_len, restore, pending.data(), &chunk);
      for (int i = 0; i < count; ++i) {
        const int at = pending[static_cast<size_t>(i)];
        finish_float_block(outputs->xk_re + at, outputs->xk_im + at, chunk, block, restore, &outputs->overflow);
      }
    } else {
      finish_float_block(outputs->xk_re, outputs->xk_im, n_len, block, restore, &outputs->overflow);
    }
  }
  outputs->xk_re_size = n_len;
  outputs->xk_im_size = n_len;
  if (floating) {
    outputs->block_exp = 0;
  } else if (s.has_scaling == 0) {
    outputs->block_exp = 0;
    outputs->overflow = 0;
  } else if (s.has_bfp == 0) {
    outputs->block_exp = 0;
  } else {
    outputs->overflow = 0;
  }
  return 0;
}

}  // namespace

void fill_length_fields(FftSettings &s, int nfft) {
  s.length = 1 << nfft;
  s.nfft = nfft;
  s.odd_nfft = nfft & 1;
  s.r4_stages = nfft >> 1;
  s.r4_length = (nfft & 1) == 0 ? s.length : s.length / 2;
  s.r4_address_mask = (s.r4_length >> 2) - 1;
}

int simulate(State *state, const Inputs &inputs, Outputs *outputs, std::ostream &err) {
  Call c{state, inputs, outputs};
  return run_call(c, err);
}

int simulate_pairs(State *state, const double *x, int n, const Inputs &rest, double *X, Outputs *outputs,
                   std::ostream &err) {
  // A frame can be read as it is held when a fixed-point core's samples all
  // lie in range and on the grid (the sample checks then pass and no rounding
  // is due); otherwise nothing is done. The loading pass finds that out on
  // its way, which spares a pass of its own: nothing is written or said
  // before it (a check that fails first looks at the samples before it
  // speaks). Only the length rule's warning comes before every check: with
  // it due, the samples are scanned first.
  if (state == nullptr || state->settings.use_flt_pt != 0 || x == nullptr || X == nullptr || outputs == nullptr ||
      n < 0 || n > (1 << 30))
    return kDeclined;
  const bool length_warning = state->generics.C_HAS_NFFT == 0 && rest.nfft != state->generics.C_NFFT_MAX;
  if (length_warning) {
    const simd::SampleScan scan = simd::scan_samples(x, 2 * n, std::ldexp(1.0, state->generics.C_INPUT_WIDTH - 1));
    if (!scan.in_range || !scan.on_grid) return kDeclined;
  }
  Inputs in = rest;
  in.xn_re = const_cast<double *>(x);  // only read
  in.xn_im = const_cast<double *>(x) + 1;
  in.xn_re_size = in.xn_im_size = n;
  outputs->xk_re = X;
  outputs->xk_im = X + 1;
  outputs->xk_re_size = outputs->xk_im_size = n;
  Call c{state, in, outputs};
  c.pairs = true;
  c.scanned = length_warning;
  return run_call(c, err);
}

}  // namespace zelfft
