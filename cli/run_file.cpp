#include "run_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

namespace zelvec {

namespace {

std::string number_text(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

}  // namespace

toml::table parse_run_file(const std::string &path) {
  try {
    return toml::parse_file(path);
  } catch (const toml::parse_error &e) {
    const auto &b = e.source().begin;
    std::string message = path;
    if (b.line) message += ":" + std::to_string(b.line) + ":" + std::to_string(b.column);
    message += ": ";
    message += e.description();
    throw InputError(message);
  }
}

std::string where(const std::string &file, const toml::node &node) {
  const auto &b = node.source().begin;
  if (!b.line) return file;
  return file + ":" + std::to_string(b.line) + ":" + std::to_string(b.column);
}

std::string where(const std::string &file, const toml::key &key, const toml::node &value) {
  const auto &b = key.source().begin;
  if (!b.line) return where(file, value);
  return file + ":" + std::to_string(b.line) + ":" + std::to_string(b.column);
}

std::string kind_of(const toml::node &node) {
  switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "a list";
    case toml::node_type::string: return "a text";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number with a fraction";
    case toml::node_type::boolean: return "a boolean";
    default: return "a date or time";
  }
}

Section::Section(const toml::table &table, std::string file, std::string name)
    : table_(&table), file_(std::move(file)), name_(std::move(name)) {}

std::string Section::full(std::string_view key) const {
  return name_.empty() ? std::string(key) : name_ + "." + std::string(key);
}

const toml::node *Section::get(std::string_view key) {
  used_.emplace(key);
  return table_->get(key);
}

void Section::fail_at(const toml::node &node, std::string_view key, const std::string &message) const {
  throw InputError(where(file_, node) + ": " + full(key) + ": " + message);
}

void Section::fail(std::string_view key, const std::string &message) const {
  if (const toml::node *n = table_->get(key)) fail_at(*n, key, message);
  fail_at(*table_, key, message);
}

void Section::missing(std::string_view key, const std::string &expected) const {
  fail_at(*table_, key, "missing; expected " + expected);
}

std::optional<std::int64_t> Section::integer(std::string_view key, std::int64_t lo, std::int64_t hi) {
  const toml::node *n = get(key);
  if (!n) return std::nullopt;
  const auto *v = n->as_integer();
  const std::string expected = "an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
  if (!v) fail_at(*n, key, "expected " + expected + ", found " + kind_of(*n));
  if (v->get() < lo || v->get() > hi) fail_at(*n, key, "expected " + expected + ", found " + std::to_string(v->get()));
  return v->get();
}

std::optional<double> Section::number(std::string_view key, double lo, double hi) {
  const toml::node *n = get(key);
  if (!n) return std::nullopt;
  const std::string expected = "a number from " + number_text(lo) + " to " + number_text(hi);
  double x;
  if (const auto *i = n->as_integer()) {
    x = static_cast<double>(i->get());
  } else if (const auto *f = n->as_floating_point()) {
    x = f->get();
  } else {
    fail_at(*n, key, "expected " + expected + ", found " + kind_of(*n));
  }
  if (!(x >= lo && x <= hi)) fail_at(*n, key, "expected " + expected + ", found " + number_text(x));
  return x;
}

std::optional<bool> Section::boolean(std::string_view key) {
  const toml::node *n = get(key);
  if (!n) return std::nullopt;
  const auto *v = n->as_boolean();
  if (!v) fail_at(*n, key, "expected true or false, found " + kind_of(*n));
  return v->get();
}

std::optional<std::string> Section::text(std::string_view key) {
  const toml::node *n = get(key);
  if (!n) return std::nullopt;
  const auto *v = n->as_string();
  if (!v) fail_at(*n, key, "expected a text, found " + kind_of(*n));
  return v->get();
}

std::optional<std::string> Section::word(std::string_view key, const std::vector<std::string_view> &allowed) {
  const toml::node *n = get(key);
  if (!n) return std::nullopt;
  std::string list;
  for (std::size_t i = 0; i < allowed.size(); ++i) list += (i ? (i + 1 == allowed.size() ? " or " : ", ") : "") + std::string("\"").append(allowed[i]) + "\"";
  const auto *v = n->as_string();
  if (!v) fail_at(*n, key, "expected " + list + ", found " + kind_of(*n));
  if (std::find(allowed.begin(), allowed.end(), v->get()) == allowed.end())
    fail_at(*n, key, "expected " + list + ", found \"" + v->get() + "\"");
  return v->get();
}

std::optional<Section> Section::section(std::string_view key) {
  const toml::node *n = get(key);
  if (!n) return std::nullopt;
  const auto *t = n->as_table();
  if (!t) fail_at(*n, key, "expected a table, found " + kind_of(*n));
  return Section(*t, file_, full(key));
}

void Section::unknown(std::string_view key, const std::vector<std::string_view> &known) const {
  std::string message = "unknown key";
  const std::string_view best = zel::closest_name(key, known);
  if (!best.empty()) {
    message += "; did you mean \"" + std::string(best) + "\"?";
  } else {
    message += "; expected one of";
    for (std::size_t i = 0; i < known.size(); ++i) message += (i ? ", " : " ") + std::string(known[i]);
  }
  // Point at the key itself, not its value.
  for (const auto &[k, node] : *table_)
    if (k.str() == key) {
      const auto &b = k.source().begin;
      if (b.line)
        throw InputError(file_ + ":" + std::to_string(b.line) + ":" + std::to_string(b.column) + ": " + full(key) + ": " +
                         message);
      fail_at(node, key, message);
    }
  fail_at(*table_, key, message);
}

void Section::finish(const std::vector<std::string_view> &also_allowed) const {
  std::vector<std::string_view> known(used_.begin(), used_.end());
  known.insert(known.end(), also_allowed.begin(), also_allowed.end());
  for (const auto &[k, node] : *table_)
    if (std::find(known.begin(), known.end(), k.str()) == known.end()) unknown(k.str(), known);
}

void Section::expect_keys(const std::vector<std::string_view> &keys) const {
  for (const auto &[k, node] : *table_)
    if (std::find(keys.begin(), keys.end(), k.str()) == keys.end()) unknown(k.str(), keys);
}

zel::SettingValue Section::setting_value(std::string_view key, const toml::node &node) const {
  if (const auto *b = node.as_boolean()) return b->get();
  if (const auto *i = node.as_integer()) return std::int64_t{i->get()};
  if (const auto *s = node.as_string()) return s->get();
  fail_at(node, key, "expected a boolean, an integer or a text, found " + kind_of(node));
}

}  // namespace zelvec
