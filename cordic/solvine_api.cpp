// The exported model-free functions of solvine. No exception may leave an
// exported function: the host would be terminated by one.
#include "solvine.h"

#include "cordic_exception.h"
#include "cordic_model.h"
#include "zel_logger.h"

#include <memory>
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

SOLVINE_API zelip_cordic_v6_0_model *zelip_cordic_v6_0_create(const zelip_cordic_v6_0_config *config,
                                                              zelip_msg_handler handler, void *handle) {
  if (config == nullptr) return nullptr;
  // Configuration errors reach the host as the bare check text: there is no
  // model yet whose name could prefix them. A host callback that throws must
  // not unwind through this C function; the null result still tells.
  const auto report = [&](const char *text) noexcept {
    if (handler == nullptr) return;
    try {
      handler(handle, 1, text);
    } catch (...) {
    }
  };
  try {
    auto logger = std::make_unique<ZelLogger>(handler, handle, config->name);
    return new cordic_v6_0(*config, std::move(logger));
  } catch (const CORDICException &e) {
    report(e.what());
  } catch (...) {
    report("Uncaught exception in cordic_v6_0 model");
  }
  return nullptr;
}

SOLVINE_API zelip_status zelip_cordic_v6_0_destroy(zelip_cordic_v6_0_model *model) {
  if (model == nullptr) return 1;
  try {
    delete model;
    return 0;
  } catch (...) {
    return 1;
  }
}

SOLVINE_API zelip_status zelip_cordic_v6_0_get_config(const zelip_cordic_v6_0_model *model,
                                                      zelip_cordic_v6_0_config *config) {
  if (model == nullptr || config == nullptr) return 1;
  try {
    model->get_config(*config);
    return 0;
  } catch (...) {
    try {
      model->logger().error(std::string("Uncaught exception in CORDIC model get_config"));
    } catch (...) {
    }
    return 1;
  }
}

}  // extern "C"
