// The processing exports of solvine: data_do and its seven convenience forms.
// Argument faults give status 1 silently; faults found while processing reach
// the host's callback as "<name> ERROR: <text>". No exception leaves.
#include "solvine.h"

#include "cordic_config.h"
#include "cordic_engine.h"
#include "cordic_exception.h"
#include "cordic_model.h"
#include "zelip_array.h"

#include <cstddef>
#include <string>

namespace {

using cordic::array::first_dimension;

// A needed array must exist and have the block's length as its first dimension.
template <class Array>
bool usable(const Array *a, std::size_t count) {
  const auto dim0 = first_dimension(a);
  return dim0.has_value() && *dim0 == count;
}

bool arguments_valid(uint32_t function, const cordic::SampleArrays &a, std::size_t count) {
  switch (function) {
    case cordic::kRotate:
      return usable(a.cartin, count) && usable(a.phasein, count) && usable(a.cartout, count);
    case cordic::kTranslate:
      return usable(a.cartin, count) && usable(a.magout, count) && usable(a.phaseout, count);
    case cordic::kSinCos:
    case cordic::kSinhCosh:
      return usable(a.phasein, count) && usable(a.cartout, count);
    case cordic::kAtan:
    case cordic::kAtanh:
      return usable(a.cartin, count) && usable(a.phaseout, count);
    case cordic::kSqrt:
      return usable(a.magin, count) && usable(a.magout, count);
    default:
      return false;
  }
}

void report(const cordic_v6_0 &model, const std::string &text) {
  try {
    model.logger().error(text);
  } catch (...) {
    // Nothing more can be told to the host; the status still says it failed.
  }
}

}  // namespace

extern "C" {

SOLVINE_API zelip_status zelip_cordic_v6_0_data_do(const zelip_cordic_v6_0_model *model, uint32_t function,
                                                   const struct zelip_array_real *magin,
                                                   const struct zelip_array_real *phasein,
                                                   const struct zelip_array_complex *cartin,
                                                   struct zelip_array_real *magout,
                                                   struct zelip_array_real *phaseout,
                                                   struct zelip_array_complex *cartout, size_t count) {
  if (model == nullptr) return 1;
  const cordic::SampleArrays arrays{magin, phasein, cartin, magout, phaseout, cartout};
  // The code chooses the inputs read and the engine computes the configured
  // function; a different code would feed it inputs that were never read.
  if (function != model->function() || !arguments_valid(function, arrays, count)) return 1;
  try {
    cordic::CordicEngine engine(*model);
    engine.run(arrays, count);
    return 0;
  } catch (const CORDICException &e) {
    report(*model, e.what());
  } catch (...) {
    report(*model, "Uncaught exception in cordic_v6_0 model");
  }
  return 1;
}

SOLVINE_API zelip_status zelip_cordic_v6_0_rotate(const zelip_cordic_v6_0_model *model,
                                                  const struct zelip_array_complex *cartin,
                                                  const struct zelip_array_real *phasein,
                                                  struct zelip_array_complex *cartout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kRotate, nullptr, phasein, cartin, nullptr, nullptr, cartout,
                                   count);
}

SOLVINE_API zelip_status zelip_cordic_v6_0_translate(const zelip_cordic_v6_0_model *model,
                                                     const struct zelip_array_complex *cartin,
                                                     struct zelip_array_real *magout,
                                                     struct zelip_array_real *phaseout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kTranslate, nullptr, nullptr, cartin, magout, phaseout, nullptr,
                                   count);
}

SOLVINE_API zelip_status zelip_cordic_v6_0_sin_cos(const zelip_cordic_v6_0_model *model,
                                                   const struct zelip_array_real *phasein,
                                                   struct zelip_array_complex *cartout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kSinCos, nullptr, phasein, nullptr, nullptr, nullptr, cartout,
                                   count);
}

SOLVINE_API zelip_status zelip_cordic_v6_0_atan(const zelip_cordic_v6_0_model *model,
                                                const struct zelip_array_complex *cartin,
                                                struct zelip_array_real *phaseout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kAtan, nullptr, nullptr, cartin, nullptr, phaseout, nullptr,
                                   count);
}

SOLVINE_API zelip_status zelip_cordic_v6_0_sinh_cosh(const zelip_cordic_v6_0_model *model,
                                                     const struct zelip_array_real *phasein,
                                                     struct zelip_array_complex *cartout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kSinhCosh, nullptr, phasein, nullptr, nullptr, nullptr, cartout,
                                   count);
}

SOLVINE_API zelip_status zelip_cordic_v6_0_atanh(const zelip_cordic_v6_0_model *model,
                                                 const struct zelip_array_complex *cartin,
                                                 struct zelip_array_real *phaseout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kAtanh, nullptr, nullptr, cartin, nullptr, phaseout, nullptr,
                                   count);
}

SOLVINE_API zelip_status zelip_cordic_v6_0_sqrt(const zelip_cordic_v6_0_model *model,
                                                const struct zelip_array_real *magin,
                                                struct zelip_array_real *magout, size_t count) {
  return zelip_cordic_v6_0_data_do(model, cordic::kSqrt, magin, nullptr, nullptr, magout, nullptr, nullptr, count);
}

}  // extern "C"
