// The CORDIC data path after loading, written once for both register types:
// coarse rotation, micro-rotations with the B-bit wrap, post-correction, gain
// compensation and output rounding. Registers x and y carry B - 2 fraction
// bits, z carries B - 3 (radians, or units of pi).
#pragma once

#include "cordic_engine.h"
#include "cordic_engine_coarse.h"
#include "cordic_exception.h"
#include "cordic_model.h"
#include "cordic_tables.h"
#include "rnd_slv_mpz.h"

#include <type_traits>

namespace cordic {

namespace datapath_detail {

inline void load_constant(MpzWord &w, mpz_srcptr c) { mpz_set(w.get(), c); }
inline void load_constant(int64_t &w, mpz_srcptr c) { w = mpz_get_si(c); }

inline double to_double(const MpzWord &w) { return mpz_get_d(w.get()); }
inline double to_double(int64_t w) { return static_cast<double>(w); }

inline void round_output(MpzWord &v, unsigned from, unsigned to, uint32_t mode) {
  rnd_slv_mpz(v.get(), v.get(), from, to, mode);
}
// The native path only runs reductions (to < from) in modes 0..3, or copies.
inline void round_output(int64_t &v, unsigned from, unsigned to, uint32_t mode) {
  if (to < from) v = round_native(v, from - to, mode);
}

}  // namespace datapath_detail

template <class Word>
struct CordicEngine::Datapath {
  explicit Datapath(const cordic_v6_0 &model)
      : iterations(model.iterations()),
        width(model.precision()),
        output_width(model.config().OutputWidth),
        round_mode(model.config().RoundMode),
        vectoring(model.vectoring()),
        hyperbolic(model.hyperbolic()),
        coarse(model.config().CoarseRotate != 0),
        compensate(model.config().ScaleComp != 0) {
    using datapath_detail::load_constant;
    for (unsigned k = 0; k < iterations && k < kTableEntries; ++k) load_constant(angle[k], model.angle(k));
    load_constant(t, model.quad_t());
    load_constant(m, model.quad_m());
    load_constant(o, model.quad_o());
    load_constant(l, model.quad_l());
    load_constant(scale, model.scale_mpz());
    mpz_t two_pow_width;
    mpz_init_set_ui(two_pow_width, 1);
    mpz_mul_2exp(two_pow_width, two_pow_width, width);
    if constexpr (std::is_same_v<Word, MpzWord>) load_constant(modulus, two_pow_width);
    mpz_clear(two_pow_width);
  }

  // Runs the loaded registers x, y, z to the rounded output words.
  SampleWords run() {
    QuarterTurn post = QuarterTurn::kNone;
    if (coarse) post = coarse_rotate();
    micro_rotations();
    if (coarse) post_correct(post);
    if (compensate) {
      scale_floor(x, scale, width - 2, u);
      scale_floor(y, scale, width - 2, u);
    }
    using datapath_detail::round_output;
    using datapath_detail::to_double;
    SampleWords out;
    if (vectoring) {
      round_output(x, width, output_width, round_mode);
      round_output(z, width, output_width, round_mode);
      out.x = to_double(x);
      out.z = to_double(z);
    } else {
      round_output(x, width, output_width, round_mode);
      round_output(y, width, output_width, round_mode);
      out.x = to_double(x);
      out.y = to_double(y);
    }
    return out;
  }

  // Turns (x, y) into the sector |y| <= x and z into [-pi/4, pi/4]; returns
  // the turn that undoes both.
  QuarterTurn coarse_rotate() {
    add(u, x, y);
    sub(v, x, y);
    const VectorRegion region = vector_region(nonnegative(x), nonnegative(u), nonnegative(v));
    switch (region) {
      case VectorRegion::kRight: break;
      case VectorRegion::kLower: turn_plus_90(); break;
      case VectorRegion::kUpper: turn_minus_90(); break;
      case VectorRegion::kLeft:
        negate(x, x);
        negate(y, y);
        break;
    }

    const bool z_nonnegative = nonnegative(z);
    if (z_nonnegative) {
      add(u, z, o);
      add(v, z, l);
    } else {
      sub(u, z, o);
      sub(v, z, l);
    }
    const PhaseStep step = phase_step(z_nonnegative, nonnegative(u), nonnegative(v));
    switch (step) {
      case PhaseStep::kSubtractPi: add(z, z, t); break;
      case PhaseStep::kSubtractHalfPi: add(z, z, m); break;
      case PhaseStep::kKeep: break;
      case PhaseStep::kAddHalfPi: sub(z, z, m); break;
      case PhaseStep::kAddPi: sub(z, z, t); break;
    }
    return combine(vector_needs(region), phase_needs(step));
  }

  // Shift index of micro-rotation i: hyperbolic coordinates repeat the
  // shifts 4 and 13 (indices 3 and 12) to converge.
  unsigned shift_index(unsigned i) const {
    if (!hyperbolic || i <= 3) return i;
    return i <= 13 ? i - 1 : i - 2;
  }

  void micro_rotations() {
    for (unsigned i = 0; i < iterations; ++i) {
      const unsigned j = shift_index(i);
      const unsigned s = j + 1;
      // Rotation drives z to zero, vectoring drives y to zero.
      const bool plus = vectoring ? !nonnegative(y) : nonnegative(z);
      shift_floor(dx, x, s);
      shift_floor(dy, y, s);
      if (plus) {
        if (hyperbolic) add(x, x, dy); else sub(x, x, dy);
        add(y, y, dx);
        sub(z, z, angle[j]);
      } else {
        if (hyperbolic) sub(x, x, dy); else add(x, x, dy);
        sub(y, y, dx);
        add(z, z, angle[j]);
      }
      wrap(x, width, modulus);
      wrap(y, width, modulus);
      wrap(z, width, modulus);
    }
  }

  // Undoes the coarse rotation: rotation mode turns the result vector,
  // vectoring mode corrects the phase. No wrap follows.
  void post_correct(QuarterTurn post) {
    if (vectoring) {
      switch (post) {
        case QuarterTurn::kNone: return;
        case QuarterTurn::kHalf:
          if (nonnegative(z)) add(z, z, t); else sub(z, z, t);
          return;
        case QuarterTurn::kPlus90: sub(z, z, m); return;
        case QuarterTurn::kMinus90: add(z, z, m); return;
      }
      throw CORDICException("Error in outp_cr_quad, phase switch");
    }
    switch (post) {
      case QuarterTurn::kNone: return;
      case QuarterTurn::kHalf:
        negate(x, x);
        negate(y, y);
        return;
      case QuarterTurn::kPlus90: turn_plus_90(); return;
      case QuarterTurn::kMinus90: turn_minus_90(); return;
    }
    throw CORDICException("Error in outp_cr_quad, cartesian switch");
  }

  // (x, y) -> (-y, x)
  void turn_plus_90() {
    negate(u, y);
    assign(y, x);
    swap(x, u);
  }
  // (x, y) -> (y, -x)
  void turn_minus_90() {
    negate(u, x);
    assign(x, y);
    swap(y, u);
  }

  const unsigned iterations;
  const unsigned width;  // B
  const unsigned output_width;
  const uint32_t round_mode;
  const bool vectoring;
  const bool hyperbolic;
  const bool coarse;
  const bool compensate;

  Word angle[kTableEntries]{};
  Word t{}, m{}, o{}, l{};  // -pi, -pi/2, -3pi/4, -pi/4 (or scaled), floored to B bits
  Word scale{};             // inverse gain, B - 2 fraction bits
  Word modulus{};           // 2^B (GMP wrap only)

  Word x{}, y{}, z{};    // the registers
  Word dx{}, dy{};       // shifted copies of x and y
  Word u{}, v{};         // scratch
};

}  // namespace cordic
