// Records every message a CORDIC model sends to its host callback.
#pragma once

#include "solvine.h"

#include <string>
#include <vector>

namespace cordictest {

struct Message {
  int error;
  std::string text;
};

struct MessageRecorder {
  std::vector<Message> messages;

  static void callback(void *handle, int error, const char *msg) {
    auto *self = static_cast<MessageRecorder *>(handle);
    self->messages.push_back({error, msg});
  }
};

// The default configuration with fields changed by the caller.
inline zelip_cordic_v6_0_config default_config() {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  return c;
}

}  // namespace cordictest
