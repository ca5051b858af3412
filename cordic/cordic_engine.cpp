// Block driver of the CORDIC engine: reading, alignment and loading of the
// input words, the choice between the native and the GMP data path, the
// square-root path and the writing of the output words.
#include "cordic_engine.h"

#include "cordic_config.h"
#include "cordic_engine_datapath.h"
#include "cordic_sqrt.h"
#include "zelip_array.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace cordic {

namespace {

// Aligned inputs below this bound (in magnitude) run on the native path: the
// first micro-rotation then stays below 2^61 before its wrap.
constexpr double kNativeInputBound = 0x1p59;

bool reads_vector(uint32_t function) {
  return function == kRotate || function == kTranslate || function == kAtan || function == kAtanh;
}

bool reads_phase(uint32_t function) { return function == kRotate || function == kSinCos || function == kSinhCosh; }

// An input word aligned to the internal width as a double: scaled by 2^d
// (d >= 0; may keep a fraction, which loading drops toward zero) or floored
// after division by 2^-d. The floor of the word is taken first, which gives
// the same result and keeps the division exact for any finite word.
double align_double(double word, int d) {
  if (d >= 0) return std::ldexp(word, d);
  return std::floor(std::ldexp(std::floor(word), d));
}

// The same alignment into a GMP register, exact for every finite word (a
// word so large that scaling overflows a double is an integer anyway).
void align_mpz(MpzWord &r, double word, int d) {
  if (d >= 0) {
    const double scaled = std::ldexp(word, d);
    if (std::isfinite(scaled)) {
      mpz_set_d(r.get(), scaled);  // drops any fraction toward zero
    } else {
      mpz_set_d(r.get(), word);
      mpz_mul_2exp(r.get(), r.get(), static_cast<mp_bitcnt_t>(d));
    }
  } else {
    mpz_set_d(r.get(), std::floor(word));
    mpz_fdiv_q_2exp(r.get(), r.get(), static_cast<mp_bitcnt_t>(-d));
  }
}

bool fits_native(double aligned) { return std::fabs(aligned) < kNativeInputBound; }

[[noreturn]] void unreadable(const char *array) {
  throw CORDICException(std::string("Problem reading data from ") + array);
}

// A sample that is missing or not a number is unreadable: a hardware word
// has no infinity or NaN, and GMP cannot take one.
double read_real(const zelip_array_real *a, std::size_t k, const char *name) {
  zelip_real value = 0.0;
  if (!array::read_sample(a, k, value) || !std::isfinite(value)) unreadable(name);
  return value;
}

zelip_complex read_complex(const zelip_array_complex *a, std::size_t k, const char *name) {
  zelip_complex value{0.0, 0.0};
  if (!array::read_sample(a, k, value) || !std::isfinite(value.re) || !std::isfinite(value.im)) unreadable(name);
  return value;
}

}  // namespace

CordicEngine::CordicEngine(const cordic_v6_0 &model, Arithmetic arithmetic)
    : model_(model),
      arithmetic_(arithmetic),
      function_(model.function()),
      alignment_(static_cast<int>(model.precision()) - static_cast<int>(model.config().InputWidth)) {
  if (function_ == kSqrt) return;
  // The native registers hold every value of a checked configuration (B at
  // most 54, at least one wrapping micro-rotation, rounding that narrows).
  const bool native_fits = model.precision() <= 62 && model.iterations() >= 1 &&
                           model.config().OutputWidth <= model.precision() && model.config().RoundMode <= 3;
  if (arithmetic_ != Arithmetic::kGmpOnly && native_fits) native_ = std::make_unique<Datapath<int64_t>>(model);
  if (arithmetic_ != Arithmetic::kAuto || !native_) return;

  // The lanes run the native registers' operations with the same constants.
  const Datapath<int64_t> &d = *native_;
  LanePlan *plan = &lanes_.emplace();
  plan->iterations = d.iterations;
  plan->width = d.width;
  plan->round_shift = d.width - d.output_width;
  plan->round_mode = d.round_mode;
  plan->vectoring = d.vectoring;
  plan->hyperbolic = d.hyperbolic;
  plan->coarse = d.coarse;
  plan->compensate = d.compensate;
  plan->vector_in = reads_vector(function_);
  plan->phase_in = reads_phase(function_);
  plan->alignment = alignment_;
  plan->align_factor = std::ldexp(1.0, alignment_);
  for (unsigned i = 0; i < d.iterations; ++i) {
    const unsigned j = d.shift_index(i);
    plan->shift[i] = static_cast<uint8_t>(j + 1);
    plan->angle[i] = d.angle[j];
  }
  plan->t = d.t;
  plan->m = d.m;
  plan->o = d.o;
  plan->l = d.l;
  plan->scale = d.scale;
}

CordicEngine::~CordicEngine() = default;

void CordicEngine::run(const SampleArrays &arrays, std::size_t count) {
  std::size_t k = lanes_ ? run_lanes(arrays, count) : 0;
  for (; k < count; ++k) run_one(arrays, k);
}

namespace {

// Bytes of an element span, for the aliasing check below.
struct ByteRange {
  std::uintptr_t begin = 0, end = 0;
  std::size_t element = 0;
};

template <class Element>
ByteRange bytes_of(const std::optional<array::ElementSpan<Element>> &s) {
  if (!s || s->count == 0) return {};
  const auto begin = reinterpret_cast<std::uintptr_t>(s->data);
  return {begin, begin + s->count * sizeof(Element), sizeof(Element)};
}

// Sample by sample, sample k reads index k of the inputs and then writes index
// k of the outputs. A chunk reads all its inputs first, which gives the same
// words unless an output overlaps an input at another position.
bool reorders(const ByteRange &in, const ByteRange &out) {
  const bool overlap = in.begin < out.end && out.begin < in.end;
  return overlap && !(in.begin == out.begin && in.element == out.element);
}

}  // namespace

// Runs the block in SIMD lanes, chunk by chunk, as far as the inputs can be
// read; returns the samples done (0 when the arrays need per-element access).
// A chunk with a word the lanes cannot take runs sample by sample instead.
std::size_t CordicEngine::run_lanes(const SampleArrays &arrays, std::size_t count) {
  using array::plain_elements;
  const LanePlan &plan = *lanes_;
  const auto cart_in = plain_elements(plan.vector_in ? arrays.cartin : nullptr, count);
  const auto phase_in = plain_elements(plan.phase_in ? arrays.phasein : nullptr, count);
  const bool cart_result = !plan.vectoring;
  const bool magnitude_result = function_ == kTranslate;
  const auto cart_out = plain_elements(cart_result ? arrays.cartout : nullptr, count);
  const auto mag_out = plain_elements(magnitude_result ? arrays.magout : nullptr, count);
  const auto phase_out = plain_elements(plan.vectoring ? arrays.phaseout : nullptr, count);
  if (!cart_in || !phase_in || !cart_out || !mag_out || !phase_out) return 0;
  for (const ByteRange &in : {bytes_of(cart_in), bytes_of(phase_in)})
    for (const ByteRange &out : {bytes_of(cart_out), bytes_of(mag_out), bytes_of(phase_out)})
      if (reorders(in, out)) return 0;

  std::size_t readable = count;
  if (plan.vector_in) readable = std::min(readable, cart_in->count);
  if (plan.phase_in) readable = std::min(readable, phase_in->count);

  double a[kLaneChunk + kLanePad];
  double b[kLaneChunk + kLanePad];
  for (std::size_t k = 0; k < readable;) {
    const std::size_t n = std::min(kLaneChunk, readable - k);
    const double *cart = plan.vector_in ? &cart_in->data[k].re : nullptr;
    const double *phase = plan.phase_in ? phase_in->data + k : nullptr;
    if (run_lane_chunk(plan, cart, phase, n, a, b)) {
      if (cart_result) {
        const std::size_t end = std::min(k + n, cart_out->count);
        for (std::size_t j = k; j < end; ++j) cart_out->data[j] = zelip_complex{a[j - k], b[j - k]};
      } else {
        // translate writes the magnitude, then the phase, of each sample.
        const std::size_t mag_end = std::min(k + n, mag_out->count);
        const std::size_t phase_end = std::min(k + n, phase_out->count);
        for (std::size_t j = k; j < k + n; ++j) {
          if (j < mag_end) mag_out->data[j] = a[j - k];
          if (j < phase_end) phase_out->data[j] = b[j - k];
        }
      }
    } else {
      for (std::size_t j = k; j < k + n; ++j) run_one(arrays, j);
    }
    k += n;
  }
  return readable;
}

SampleWords CordicEngine::read(const SampleArrays &arrays, std::size_t k) const {
  SampleWords in;
  if (function_ == kSqrt) {
    in.x = read_real(arrays.magin, k, "magin");
    return in;
  }
  if (reads_vector(function_)) {
    const zelip_complex c = read_complex(arrays.cartin, k, "cartin");
    in.x = c.re;
    in.y = c.im;
  }
  if (reads_phase(function_)) in.z = read_real(arrays.phasein, k, "phasein");
  return in;
}

void CordicEngine::write(const SampleArrays &arrays, std::size_t k, const SampleWords &out) const {
  // A write past an output array's element count is skipped: the host asked
  // for fewer outputs than samples.
  switch (function_) {
    case kRotate:
    case kSinCos:
    case kSinhCosh:
      array::write_sample(arrays.cartout, k, zelip_complex{out.x, out.y});
      return;
    case kTranslate:
      array::write_sample(arrays.magout, k, out.x);
      array::write_sample(arrays.phaseout, k, out.z);
      return;
    case kAtan:
    case kAtanh:
      array::write_sample(arrays.phaseout, k, out.z);
      return;
    case kSqrt:
      array::write_sample(arrays.magout, k, out.x);
      return;
    default:
      break;
  }
  throw CORDICException("Error in data_out output switch");
}

SampleWords CordicEngine::compute(const SampleWords &in) {
  if (function_ == kSqrt) return compute_root(in.x);

  const bool vector_in = reads_vector(function_);
  const bool phase_in = reads_phase(function_);
  // sin_cos and sinh_cosh start from (S, 0): the inverse gain cancels the
  // growth of the micro-rotations.
  const double ax = vector_in ? align_double(in.x, alignment_) : 0.0;
  const double ay = vector_in ? align_double(in.y, alignment_) : 0.0;
  const double az = phase_in ? align_double(in.z, alignment_) : 0.0;

  if (native_ && fits_native(ax) && fits_native(ay) && fits_native(az)) {
    Datapath<int64_t> &p = *native_;
    // Conversion to an integer drops a fraction toward zero.
    p.x = vector_in ? static_cast<int64_t>(ax) : p.scale;
    p.y = static_cast<int64_t>(ay);
    p.z = static_cast<int64_t>(az);
    return p.run();
  }

  if (!gmp_) gmp_ = std::make_unique<Datapath<MpzWord>>(model_);  // first sample that needs it
  Datapath<MpzWord> &p = *gmp_;
  if (vector_in) {
    align_mpz(p.x, in.x, alignment_);
    align_mpz(p.y, in.y, alignment_);
  } else {
    assign(p.x, p.scale);
    mpz_set_ui(p.y.get(), 0);
  }
  if (phase_in)
    align_mpz(p.z, in.z, alignment_);
  else
    mpz_set_ui(p.z.get(), 0);
  return p.run();
}

SampleWords CordicEngine::compute_root(double radicand) {
  const zelip_cordic_v6_0_config &c = model_.config();
  const unsigned width = model_.precision();
  SampleWords out;
  // The radicand word is used raw (no alignment to B); a fraction is dropped.
  // The root register is below 2^(B-1), so taking it modulo 2^B keeps it, and
  // B is never below OutputWidth: the rounding only narrows.
  if (arithmetic_ != Arithmetic::kGmpOnly && std::fabs(radicand) < 0x1p63 && c.RoundMode <= 3 &&
      c.OutputWidth <= width) {
    const int64_t root = cordic_sqrt(static_cast<int64_t>(radicand), width, c.DataFormat, c.InputWidth);
    const int64_t wrapped = root & ((int64_t{1} << width) - 1);
    out.x = static_cast<double>(width > c.OutputWidth ? round_native(wrapped, width - c.OutputWidth, c.RoundMode)
                                                      : wrapped);
    return out;
  }
  mpz_set_d(root_.get(), radicand);
  cordic_sqrt(root_.get(), root_.get(), width, c.DataFormat, c.InputWidth);
  mpz_fdiv_r_2exp(root_.get(), root_.get(), width);
  rnd_slv_mpz(root_.get(), root_.get(), width, c.OutputWidth, c.RoundMode);
  out.x = mpz_get_d(root_.get());
  return out;
}

}  // namespace cordic
