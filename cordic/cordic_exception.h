// The one exception of the CORDIC model: carries a message text from the
// configuration checks and the engine to the exported function that reports it.
#pragma once

#include <stdexcept>

class CORDICException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
