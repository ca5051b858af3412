// The model state behind the opaque handle of the public interface.
#pragma once

#include "brevant.h"
#include "fft_base.h"
#include "fft_settings.h"
#include "twiddle_rom.h"

#include <memory>
#include <vector>

struct korvane_ip_zelfft_v9_0_state {
  korvane_ip_zelfft_v9_0_generics generics;  // unchanged copy of the caller's record
  zelfft::FftSettings settings;              // derived parameters and run-time fields
  std::unique_ptr<zelfft::TWIDDLE_ROM> twiddle_rom;  // built for C_NFFT_MAX
  // Exactly one engine, the one of C_ARCH; each is destroyed through the
  // virtual destructor of FFT.
  std::unique_ptr<zelfft::FFT> r4_engine;   // R4_loop, C_ARCH = 1
  std::unique_ptr<zelfft::FFT> r2_engine;   // R2_loop, C_ARCH = 2 or 4
  std::unique_ptr<zelfft::FFT> r22_engine;  // R22_pipeline, C_ARCH = 3
  // simulate's working list of output chunks (single-precision data).
  std::vector<int32_t> pending_chunks;
};

namespace zelfft {

// Builds the state of a generics record that passed check_generics. Throws
// std::bad_alloc when memory runs out.
std::unique_ptr<korvane_ip_zelfft_v9_0_state> assemble_state(const korvane_ip_zelfft_v9_0_generics &g);

}  // namespace zelfft
