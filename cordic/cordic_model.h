// The CORDIC model object: a checked copy of the configuration, the derived
// iteration count N and width B, and the per-model constants the engine
// uses. Built completely by its constructor and never changed afterwards.
#pragma once

#include "solvine.h"
#include "zel_logger.h"
#include "cordic_tables.h"

#include <gmp.h>

#include <cstdint>
#include <memory>
#include <string>

// The C header calls this type zelip_cordic_v6_0_model.
class cordic_v6_0 {
 public:
  // Checks the configuration (throws CORDICException with the first failing
  // check's text), derives N and B and builds the constants. Owns the logger
  // from the start, so a failed construction destroys it too.
  cordic_v6_0(const zelip_cordic_v6_0_config &config, std::unique_ptr<ZelLogger> logger);
  virtual ~cordic_v6_0();

  cordic_v6_0(const cordic_v6_0 &) = delete;
  cordic_v6_0 &operator=(const cordic_v6_0 &) = delete;

  // The configuration as given, name slot null (the name is name()).
  const zelip_cordic_v6_0_config &config() const { return config_; }
  const std::string &name() const { return name_; }
  ZelLogger &logger() const { return *logger_; }

  // Copies the configuration into out; out->name points into this model's
  // own name text, valid until the model is destroyed.
  void get_config(zelip_cordic_v6_0_config &out) const;

  uint32_t function() const { return config_.CordicFunction; }
  bool vectoring() const { return vectoring_; }    // translate, atan, atanh
  bool hyperbolic() const { return hyperbolic_; }  // sinh_cosh, atanh
  uint32_t iterations() const { return iterations_; }  // N
  uint32_t precision() const { return precision_; }    // B

  // Inverse gain for N iterations at B bits (B - 2 fraction bits), exact as a
  // double since B <= 54; scale_mpz() is the same value as an integer.
  double scale() const { return scale_; }
  mpz_srcptr scale_mpz() const { return scale_mpz_; }

  // Micro-rotation angle of shift index k (0..63), B bits with B - 3 fraction
  // bits; entries from N on are zero.
  mpz_srcptr angle(unsigned k) const { return angles_[k]; }

  // Quadrant constants at B bits (B - 3 fraction bits, floored):
  // t = -pi, m = -pi/2, o = -3pi/4, l = -pi/4 (or -1, -1/2, -3/4, -1/4 scaled).
  mpz_srcptr quad_t() const { return quad_[0]; }
  mpz_srcptr quad_m() const { return quad_[1]; }
  mpz_srcptr quad_o() const { return quad_[2]; }
  mpz_srcptr quad_l() const { return quad_[3]; }

 private:
  std::unique_ptr<ZelLogger> logger_;
  zelip_cordic_v6_0_config config_;
  std::string name_;
  uint32_t iterations_ = 0;
  uint32_t precision_ = 0;
  bool vectoring_ = false;
  bool hyperbolic_ = false;
  double scale_ = 0.0;
  mpz_t scale_mpz_;
  mpz_t angles_[cordic::kTableEntries];
  mpz_t quad_[4];
};
