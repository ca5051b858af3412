// Checking of a generics record and derivation of the core's internal
// parameters from it.
#pragma once

#include "brevant.h"
#include "fft_settings.h"

#include <ostream>

namespace zelfft {

// The default configuration of the core.
korvane_ip_zelfft_v9_0_generics default_generics();

// Runs the single-generic checks, then the combination checks, in the core's
// fixed order. On the first failure writes its one error line to `err` and
// returns false.
bool check_generics(const korvane_ip_zelfft_v9_0_generics &g, std::ostream &err);

// Derived parameters of a record that passed check_generics: the widths and
// switches first, then the overrides of floating-point mode.
FftSettings derive_settings(const korvane_ip_zelfft_v9_0_generics &g);

}  // namespace zelfft
