// State assembly: the twiddle table for the largest transform and the one
// engine of the configured architecture.
#include "fft_state.h"

#include "fft_generics.h"
#include "r22_pipeline.h"
#include "r2_loop.h"
#include "r4_loop.h"

#include <memory>

namespace zelfft {

std::unique_ptr<korvane_ip_zelfft_v9_0_state> assemble_state(const korvane_ip_zelfft_v9_0_generics &g) {
  auto state = std::make_unique<korvane_ip_zelfft_v9_0_state>();
  state->generics = g;
  state->settings = derive_settings(g);
  const FftSettings &s = state->settings;
  state->twiddle_rom = std::make_unique<TWIDDLE_ROM>(s.nfft_max, s.twiddle_width);
  switch (g.C_ARCH) {
    case 1: state->r4_engine = std::make_unique<R4_loop>(s); break;
    case 2:
    case 4: state->r2_engine = std::make_unique<R2_loop>(s); break;
    case 3: state->r22_engine = std::make_unique<R22_pipeline>(s); break;
    default: return nullptr;  // check_generics admits no other architecture
  }
  return state;
}

}  // namespace zelfft
