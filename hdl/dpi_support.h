// Helpers shared by the DPI-C shims: the settings text a test bench passes
// to create a model, open-array access, and the message handed back to the
// simulator.
#pragma once

#include "settings.h"
#include "svdpi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel::dpi {

// Parses "key=value key=value ..." (blanks or commas between pairs). A value
// is true/false, a decimal integer, a text in double quotes, or a bare word.
// Throws SettingError naming the offending piece.
std::vector<std::pair<std::string, SettingValue>> parse_settings(std::string_view text);

// Hands a message to an `output string` argument. The text stays valid until
// the next call into the shim from the same thread, which is as long as the
// simulator needs it (it copies the string when the call returns).
void set_message(const char **out, std::string text);

// An open array seen as consecutive elements from its left bound to its right.
template <typename T>
class OpenArray {
 public:
  explicit OpenArray(svOpenArrayHandle h)
      : h_(h),
        size_(h ? static_cast<std::size_t>(svSize(h, 1)) : 0),
        left_(h ? svLeft(h, 1) : 0),
        step_(h && svLeft(h, 1) > svRight(h, 1) ? -1 : 1) {}
  std::size_t size() const { return size_; }
  T &operator[](std::size_t i) const {
    return *static_cast<T *>(svGetArrElemPtr1(h_, left_ + step_ * static_cast<int>(i)));
  }

 private:
  svOpenArrayHandle h_;
  std::size_t size_;
  int left_;
  int step_;
};

// Marks the DPI entry points, the only symbols the shim library exports.
#define ZEL_DPI_EXPORT extern "C" __attribute__((visibility("default")))

// Largest magnitude a word may have to travel through a double unchanged.
inline constexpr std::int64_t kMaxExactWord = std::int64_t{1} << 53;

}  // namespace zel::dpi
