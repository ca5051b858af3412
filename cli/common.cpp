#include "commands.h"
#include "solvine.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace zelvec {

Formats read_formats(Section &top, bool allow_packed) {
  Formats f;
  if (const toml::node *n = top.get("formats")) {
    const auto *list = n->as_array();
    if (!list || list->empty()) top.fail_at(*n, "formats", "expected a list of \"hex\", \"npy\" and \"csv\"");
    f.hex = f.npy = f.csv = false;
    for (const auto &item : *list) {
      const auto *s = item.as_string();
      const std::string v = s ? s->get() : "";
      if (v == "hex") f.hex = true;
      else if (v == "npy") f.npy = true;
      else if (v == "csv") f.csv = true;
      else top.fail_at(item, "formats", "expected \"hex\", \"npy\" or \"csv\", found " + (s ? "\"" + v + "\"" : kind_of(item)));
    }
  }
  if (allow_packed) f.packed = top.boolean("packed").value_or(false);
  return f;
}

std::string output_folder(const RunOptions &options, Section &top, const std::string &default_name) {
  const auto key = top.text("output");
  if (!options.output.empty()) return options.output;
  const fs::path base = fs::path(options.run_file).parent_path();
  if (key && key->empty()) top.fail("output", "expected a folder name, found an empty text");
  return (base / (key ? *key : default_name)).lexically_normal().string();
}

void refuse_shared_fields(const Section &core, std::vector<std::string_view> (*fields_of)(std::string_view)) {
  struct Given {
    std::string_view key;
    const toml::key *k;
    const toml::node *node;
  };
  std::vector<Given> given;  // in file order, not in the table's (sorted) order
  for (const auto &[k, node] : core.table()) given.push_back({k.str(), &k, &node});
  auto pos = [](const Given &g) {
    const auto &b = g.k->source().begin.line ? g.k->source().begin : g.node->source().begin;
    return std::pair{b.line, b.column};
  };
  std::stable_sort(given.begin(), given.end(), [&](const Given &a, const Given &b) { return pos(a) < pos(b); });
  for (std::size_t j = 1; j < given.size(); ++j)
    for (std::size_t i = 0; i < j; ++i)
      for (const auto field : fields_of(given[j].key))
        for (const auto other : fields_of(given[i].key))
          if (field == other)
            throw InputError(where(core.file(), *given[j].k, *given[j].node) + ": core: \"" +
                             std::string(given[i].key) + "\" and \"" + std::string(given[j].key) +
                             "\" both set the record field " + std::string(field) + "; give only one of them");
}

json versions(const std::string &kind) {
  json v;
  v["tool"] = {{"name", "zelvec"}, {"version", kToolVersion}};
  if (kind == "fft")
    v["model"] = {{"library", "brevant"}, {"core", "zelfft"}, {"version", "9.0"}};
  else
    v["model"] = {{"library", "solvine"}, {"core", "cordic"}, {"version", zelip_cordic_v6_0_get_version()}};
  return v;
}

Progress::Progress(std::string label, std::size_t total)
    : label_(std::move(label)), total_(total), enabled_(::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

void Progress::update(std::size_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < std::chrono::seconds(1) || (shown_ && now - last_ < std::chrono::milliseconds(200))) return;
  last_ = now;
  shown_ = true;
  std::fprintf(stderr, "\r%s: %zu of %zu (%d %%)  ", label_.c_str(), done, total_,
               total_ ? static_cast<int>(100 * done / total_) : 100);
  std::fflush(stderr);
}

Progress::~Progress() {
  if (shown_) {
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size() + 40), "");
    std::fflush(stderr);
  }
}

}  // namespace zelvec
