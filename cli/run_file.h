// Reading run files: each table is read through a Section, which knows the
// keys it may hold, reports every problem as "FILE:LINE:COLUMN: key: what was
// expected" and refuses keys nobody asked for (with a "did you mean" hint).
#pragma once

#include "settings.h"

#include <toml++/toml.h>

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelvec {

// A bad input: what() is the whole message line. Exit status 2.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the file; a syntax error becomes "FILE:LINE:COLUMN: message".
toml::table parse_run_file(const std::string &path);

// "FILE:LINE:COLUMN" of a node (just FILE when the node has no position).
std::string where(const std::string &file, const toml::node &node);
// The same for a key of a table (its own position, else its value's).
std::string where(const std::string &file, const toml::key &key, const toml::node &value);

class Section {
 public:
  // `name` is the table's dotted name ("" for the top level).
  Section(const toml::table &table, std::string file, std::string name);

  const std::string &file() const { return file_; }
  const toml::table &table() const { return *table_; }

  // The node of a key (marking the key as known), or nullptr when absent.
  const toml::node *get(std::string_view key);
  bool has(std::string_view key) const { return table_->contains(key); }

  std::optional<std::int64_t> integer(std::string_view key, std::int64_t lo, std::int64_t hi);
  std::optional<double> number(std::string_view key, double lo, double hi);
  std::optional<bool> boolean(std::string_view key);
  std::optional<std::string> text(std::string_view key);
  // One of the given words.
  std::optional<std::string> word(std::string_view key, const std::vector<std::string_view> &allowed);
  // A sub-table (nullopt when absent; an error when the key holds something else).
  std::optional<Section> section(std::string_view key);

  // Fails at the key (or at the table when the key is absent).
  [[noreturn]] void fail(std::string_view key, const std::string &message) const;
  [[noreturn]] void fail_at(const toml::node &node, std::string_view key, const std::string &message) const;
  // A key that must be present.
  [[noreturn]] void missing(std::string_view key, const std::string &expected) const;

  // Refuses every key not asked for, naming the closest known one.
  void finish(const std::vector<std::string_view> &also_allowed = {}) const;
  // Refuses, before anything is read, every key not in the list.
  void expect_keys(const std::vector<std::string_view> &keys) const;

  // A core setting value (bool, integer or text) as the settings layer takes it.
  zel::SettingValue setting_value(std::string_view key, const toml::node &node) const;

 private:
  std::string full(std::string_view key) const;
  [[noreturn]] void unknown(std::string_view key, const std::vector<std::string_view> &known) const;

  const toml::table *table_;
  std::string file_;
  std::string name_;
  std::set<std::string, std::less<>> used_;
};

// What a TOML value is, for messages: "an integer", "a text", ...
std::string kind_of(const toml::node &node);

}  // namespace zelvec
