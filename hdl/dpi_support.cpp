#include "dpi_support.h"

#include <cctype>
#include <charconv>

namespace zel::dpi {

namespace {

bool separator(char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); }

SettingValue value_of(std::string_view key, std::string_view v, bool quoted) {
  if (quoted) return std::string(v);
  if (v == "true") return true;
  if (v == "false") return false;
  const bool numeric = !v.empty() && (std::isdigit(static_cast<unsigned char>(v[0])) ||
                                      (v.size() > 1 && (v[0] == '-' || v[0] == '+') &&
                                       std::isdigit(static_cast<unsigned char>(v[1]))));
  if (!numeric) return std::string(v);
  std::int64_t n = 0;
  const char *first = v.data() + (v[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(first, v.data() + v.size(), n);
  if (ec != std::errc() || end != v.data() + v.size())
    throw SettingError(std::string(key), "setting " + std::string(key) + ": \"" + std::string(v) +
                                             "\" is not a whole number that fits 64 bits");
  return n;
}

}  // namespace

std::vector<std::pair<std::string, SettingValue>> parse_settings(std::string_view text) {
  std::vector<std::pair<std::string, SettingValue>> out;
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && separator(text[i])) ++i;
    if (i == text.size()) break;
    const std::size_t start = i;
    while (i < text.size() && text[i] != '=' && !separator(text[i])) ++i;
    const std::string key(text.substr(start, i - start));
    if (i == text.size() || text[i] != '=' || key.empty())
      throw SettingError(key, "settings: expected key=value at \"" + std::string(text.substr(start)) + "\"");
    ++i;
    std::string_view value;
    bool quoted = false;
    if (i < text.size() && text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos)
        throw SettingError(key, "setting " + key + ": the quoted value has no closing quote");
      value = text.substr(i + 1, close - i - 1);
      quoted = true;
      i = close + 1;
    } else {
      const std::size_t vstart = i;
      while (i < text.size() && !separator(text[i])) ++i;
      value = text.substr(vstart, i - vstart);
      if (value.empty()) throw SettingError(key, "setting " + key + ": the value is missing");
    }
    out.emplace_back(key, value_of(key, value, quoted));
  }
  return out;
}

void set_message(const char **out, std::string text) {
  thread_local std::string storage;
  storage = std::move(text);
  if (out) *out = storage.c_str();
}

}  // namespace zel::dpi
