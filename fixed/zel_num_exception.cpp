// Descriptions of the number-layer exceptions (for logs and test output).
#include "zel_num_exception.h"

namespace zel::ZelNumException {

std::string IllegalIntArg::describe() const { return "IllegalIntArg: " + text_ + " " + std::to_string(value_); }
std::string Overflow::describe() const { return "Overflow: " + text_ + " " + std::to_string(value_); }
std::string UnimplementedSpec::describe() const { return "UnimplementedSpec"; }
std::string tooManyBits::describe() const { return "tooManyBits"; }

}  // namespace zel::ZelNumException
