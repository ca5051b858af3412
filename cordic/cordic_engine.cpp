// Block driver of the CORDIC engine: reading, alignment and loading of the
// input words, the choice between the native and the GMP data path, the
// square-root path and the writing of the output words.
#include "cordic_engine.h"

#include "cordic_config.h"
#include "cordic_engine_datapath.h"
#include "cordic_sqrt.h"
#include "zelip_array.h"

#include <cmath>
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
  if (arithmetic_ == Arithmetic::kAuto && native_fits) native_ = std::make_unique<Datapath<int64_t>>(model);
}

CordicEngine::~CordicEngine() = default;

void CordicEngine::run(const SampleArrays &arrays, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) write(arrays, k, compute(read(arrays, k)));
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
  // The radicand word is used raw (no alignment to B); a fraction is dropped.
  mpz_set_d(root_.get(), radicand);
  cordic_sqrt(root_.get(), root_.get(), width, c.DataFormat, c.InputWidth);
  mpz_fdiv_r_2exp(root_.get(), root_.get(), width);
  rnd_slv_mpz(root_.get(), root_.get(), width, c.OutputWidth, c.RoundMode);
  SampleWords out;
  out.x = mpz_get_d(root_.get());
  return out;
}

}  // namespace cordic
