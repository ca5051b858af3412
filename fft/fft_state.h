// The model state behind the opaque handle of the public interface.
#pragma once

#include "brevant.h"
#include "fft_settings.h"

struct korvane_ip_zelfft_v9_0_state {
  korvane_ip_zelfft_v9_0_generics generics;  // unchanged copy of the caller's record
  zelfft::FftSettings settings;              // derived parameters and run-time fields
};
