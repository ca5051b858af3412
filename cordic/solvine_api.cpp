// The exported model-free functions of solvine. No exception may leave an
// exported function: the host would be terminated by one.
#include "solvine.h"

#include <string>

namespace {

// The version is the part of the core name after its last 'v', with '_'
// read as '.': "cordic_v6_0" gives "6.0".
std::string version_from_core_name(const std::string &core) {
  std::string v = core.substr(core.rfind('v') + 1);
  for (char &c : v)
    if (c == '_') c = '.';
  return v;
}

}  // namespace

extern "C" {

SOLVINE_API zelip_status zelip_cordic_v6_0_default_config(zelip_cordic_v6_0_config *config) {
  if (config == nullptr) return 1;
  config->name = "Default configuration";
  config->CordicFunction = 0;
  config->CoarseRotate = 1;
  config->DataFormat = 0;
  config->PhaseFormat = 0;
  config->InputWidth = 16;
  config->OutputWidth = 16;
  config->Iterations = 0;
  config->Precision = 0;
  config->RoundMode = 0;
  config->ScaleComp = 0;
  config->Reserved = 1;
  return 0;
}

SOLVINE_API const char *zelip_cordic_v6_0_get_version(void) {
  // Built once on first use (thread-safe static initialisation); every call
  // returns the same pointer.
  try {
    static const std::string version = version_from_core_name("cordic_v6_0");
    return version.c_str();
  } catch (...) {
    return "";
  }
}

}  // extern "C"
