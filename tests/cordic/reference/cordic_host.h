// Test-side host of the CORDIC model: owning wrappers for models and sample
// arrays built through the exported functions, a message recorder, and one
// call that runs a block of input words through data_do.
#pragma once

#include "cordic_model.h"
#include "solvine.h"
#include "solvine_array.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace cordtest {

// Configuration builder starting from the defaults.
inline zelip_cordic_v6_0_config config_for(uint32_t function, uint32_t width = 16) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.CordicFunction = function;
  c.InputWidth = width;
  c.OutputWidth = width;
  return c;
}

inline std::string describe(const zelip_cordic_v6_0_config &c) {
  return "function " + std::to_string(c.CordicFunction) + " coarse " + std::to_string(c.CoarseRotate) +
         " format " + std::to_string(c.DataFormat) + " phase " + std::to_string(c.PhaseFormat) + " in " +
         std::to_string(c.InputWidth) + " out " + std::to_string(c.OutputWidth) + " iter " +
         std::to_string(c.Iterations) + " prec " + std::to_string(c.Precision) + " round " +
         std::to_string(c.RoundMode) + " comp " + std::to_string(c.ScaleComp);
}

// Every callback message: (error flag, text).
struct Messages {
  std::vector<std::pair<int, std::string>> received;
  static void handler(void *handle, int error, const char *msg) {
    static_cast<Messages *>(handle)->received.emplace_back(error, msg);
  }
};

class Model {
 public:
  explicit Model(const zelip_cordic_v6_0_config &c)
      : model_(zelip_cordic_v6_0_create(&c, &Messages::handler, &messages)) {}
  ~Model() {
    if (model_ != nullptr) zelip_cordic_v6_0_destroy(model_);
  }
  Model(const Model &) = delete;
  Model &operator=(const Model &) = delete;

  bool valid() const { return model_ != nullptr; }
  zelip_cordic_v6_0_model *get() const { return model_; }
  const cordic_v6_0 &impl() const { return *model_; }
  unsigned N() const { return model_->iterations(); }
  unsigned B() const { return model_->precision(); }

  Messages messages;

 private:
  zelip_cordic_v6_0_model *model_;
};

// A one-dimensional array of n elements (dims {dim0}, data_size n).
class RealArray {
 public:
  explicit RealArray(std::size_t n, std::size_t dim0) : a_(zelip_cordic_v6_0_zelip_array_real_create()) {
    zelip_cordic_v6_0_zelip_array_real_reserve_data(a_, n == 0 ? 1 : n);
    zelip_cordic_v6_0_zelip_array_real_reserve_dim(a_, 1);
    a_->data_size = n;
    a_->dim_size = 1;
    a_->dim[0] = dim0;
    for (std::size_t k = 0; k < n; ++k) a_->data[k] = kUnwritten;
  }
  explicit RealArray(std::size_t n) : RealArray(n, n) {}
  RealArray(const std::vector<double> &values) : RealArray(values.size()) {
    for (std::size_t k = 0; k < values.size(); ++k) a_->data[k] = values[k];
  }
  ~RealArray() { zelip_cordic_v6_0_zelip_array_real_destroy(a_); }
  RealArray(const RealArray &) = delete;
  RealArray &operator=(const RealArray &) = delete;

  zelip_array_real *get() const { return a_; }
  double operator[](std::size_t k) const { return a_->data[k]; }

  // Marks elements the model has not written.
  static constexpr double kUnwritten = -123456789.0;

 private:
  zelip_array_real *a_;
};

class ComplexArray {
 public:
  explicit ComplexArray(std::size_t n, std::size_t dim0) : a_(zelip_cordic_v6_0_zelip_array_complex_create()) {
    zelip_cordic_v6_0_zelip_array_complex_reserve_data(a_, n == 0 ? 1 : n);
    zelip_cordic_v6_0_zelip_array_complex_reserve_dim(a_, 1);
    a_->data_size = n;
    a_->dim_size = 1;
    a_->dim[0] = dim0;
    for (std::size_t k = 0; k < n; ++k) a_->data[k] = zelip_complex{RealArray::kUnwritten, RealArray::kUnwritten};
  }
  explicit ComplexArray(std::size_t n) : ComplexArray(n, n) {}
  ComplexArray(const std::vector<double> &re, const std::vector<double> &im) : ComplexArray(re.size()) {
    for (std::size_t k = 0; k < re.size(); ++k) a_->data[k] = zelip_complex{re[k], im[k]};
  }
  ~ComplexArray() { zelip_cordic_v6_0_zelip_array_complex_destroy(a_); }
  ComplexArray(const ComplexArray &) = delete;
  ComplexArray &operator=(const ComplexArray &) = delete;

  zelip_array_complex *get() const { return a_; }
  const zelip_complex &operator[](std::size_t k) const { return a_->data[k]; }

 private:
  zelip_array_complex *a_;
};

// Input words of a block: x, y (cartin), z (phasein), or the radicand in x.
struct Block {
  std::vector<double> x, y, z;
  std::size_t size() const { return x.size() > z.size() ? x.size() : z.size(); }
  void push(double xv, double yv, double zv) {
    x.push_back(xv);
    y.push_back(yv);
    z.push_back(zv);
  }
};

// Output words: x, y (cartout), magnitude or root in x, phase in z.
struct Result {
  zelip_status status = 1;
  std::vector<double> x, y, z;
};

// Runs a block of the configured function through data_do with every array
// sized to the block.
inline Result run_block(const Model &model, const Block &in) {
  const std::size_t n = in.size();
  std::vector<double> x = in.x, y = in.y, z = in.z;
  x.resize(n);
  y.resize(n);
  z.resize(n);
  RealArray magin(x), phasein(z), magout(n), phaseout(n);
  ComplexArray cartin(x, y), cartout(n);
  const uint32_t f = model.impl().function();
  Result r;
  r.status = zelip_cordic_v6_0_data_do(model.get(), f, magin.get(), phasein.get(), cartin.get(), magout.get(),
                                       phaseout.get(), cartout.get(), n);
  for (std::size_t k = 0; k < n; ++k) {
    if (f == 0 || f == 2 || f == 4) {
      r.x.push_back(cartout[k].re);
      r.y.push_back(cartout[k].im);
      r.z.push_back(0.0);
    } else {
      r.x.push_back(magout[k]);
      r.y.push_back(0.0);
      r.z.push_back(phaseout[k]);
    }
  }
  return r;
}

// One sample through a block of one.
inline Result run_one(const Model &model, double x, double y, double z) {
  Block b;
  b.push(x, y, z);
  return run_block(model, b);
}

}  // namespace cordtest
