#include "cordic_model.h"

#include "cordic_config.h"
#include "rnd_slv_mpz.h"

cordic_v6_0::cordic_v6_0(const zelip_cordic_v6_0_config &config, std::unique_ptr<ZelLogger> logger)
    : logger_(std::move(logger)), config_(config), name_(config.name != nullptr ? config.name : "") {
  config_.name = nullptr;
  cordic::check_config(config_);
  iterations_ = cordic::derived_iterations(config_);
  precision_ = cordic::derived_precision(config_, iterations_);
  vectoring_ = cordic::is_vectoring(config_.CordicFunction);
  hyperbolic_ = cordic::is_hyperbolic(config_.CordicFunction);
  const bool scaled = config_.PhaseFormat == 1;
  const uint32_t B = precision_;
  using cordic::kConstantBits;

  // Nothing below throws, so the integers need no guard against a half-built object.
  mpz_t word;
  mpz_init(word);
  mpz_init(scale_mpz_);
  cordic::mpz_set_twos_text(word, cordic::gain_text(hyperbolic_, iterations_), kConstantBits);
  rnd_slv_mpz(scale_mpz_, word, kConstantBits, B, cordic::kRoundNearest);
  scale_ = mpz_get_d(scale_mpz_);

  for (unsigned k = 0; k < cordic::kTableEntries; ++k) {
    mpz_init(angles_[k]);
    if (k >= iterations_) continue;
    cordic::mpz_set_twos_text(word, cordic::angle_text(hyperbolic_, scaled, k), kConstantBits);
    rnd_slv_mpz(angles_[k], word, kConstantBits, B, cordic::kRoundNearest);
  }
  mpz_clear(word);

  // The quadrant constants are the leading B digits of the ROM words.
  const cordic::QuadrantTexts &q = cordic::quadrant_texts(scaled);
  const char *texts[4] = {q.t, q.m, q.o, q.l};
  for (int i = 0; i < 4; ++i) {
    mpz_init(quad_[i]);
    cordic::mpz_set_twos_text(quad_[i], texts[i], B);
  }
}

cordic_v6_0::~cordic_v6_0() {
  for (mpz_t &q : quad_) mpz_clear(q);
  for (mpz_t &a : angles_) mpz_clear(a);
  mpz_clear(scale_mpz_);
}

void cordic_v6_0::get_config(zelip_cordic_v6_0_config &out) const {
  out = config_;
  out.name = name_.c_str();
}
