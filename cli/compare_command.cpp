// zelvec compare EXPECTED ACTUAL: every word where a simulator's output
// differs from the expected vectors, with its frame, index and the difference
// in LSBs; exit status 0 equal, 1 different.
#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace zelvec {

namespace {

// One sequence of words to compare.
struct Quantity {
  std::string label;  // file, with the column for CSV and packed hex
  std::vector<std::int64_t> words;
  std::size_t frame_length = 0;  // 0: no frames
  std::optional<zel::WordSpec> wfmt;
};

std::string ext_of(const std::string &path) { return fs::path(path).extension().string(); }

// Digits of the widest word of a hex file, for a width nobody gave.
int hex_width_guess(const std::string &text) {
  int widest = 0, run = 0;
  bool comment = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\n';
    if (c == '\n') comment = false;
    if (!comment && c == '/' && i + 1 < text.size() && text[i + 1] == '/') comment = true;
    if (!comment && std::isxdigit(static_cast<unsigned char>(c))) {
      ++run;
    } else if (c != '_') {
      widest = std::max(widest, run);
      run = 0;
    }
  }
  return std::clamp(widest * 4, 1, 63);
}

// Reads one file as quantities. For hex the word format is needed (given or guessed).
std::vector<Quantity> read_quantities(const std::string &path, const std::string &label,
                                      std::optional<zel::WordSpec> wfmt, bool packed, std::size_t frame_length) {
  const std::string ext = ext_of(path);
  std::vector<Quantity> out;
  if (ext == ".npy") {
    zel::NpyArray a = zel::read_npy_file(path);
    Quantity q{label, std::move(a.data), frame_length, wfmt};
    if (!frame_length && a.shape.size() == 2) q.frame_length = a.shape[1];
    out.push_back(std::move(q));
  } else if (ext == ".csv") {
    zel::CsvTable t = zel::read_csv_file(path);
    const auto *index = t.column("index");
    std::size_t fl = frame_length;
    if (!fl && t.column("frame") && index) fl = static_cast<std::size_t>(*std::max_element(index->begin(), index->end()) + 1);
    for (std::size_t c = 0; c < t.names.size(); ++c) {
      if (t.names[c] == "frame" || t.names[c] == "index") continue;
      out.push_back({label + " column " + t.names[c], std::move(t.columns[c]), fl, wfmt});
    }
  } else {
    const std::string text = zel::read_file(path);
    zel::WordSpec s = wfmt ? *wfmt : zel::WordSpec{packed ? hex_width_guess(text) / 2 : hex_width_guess(text), true};
    if (packed) {
      std::vector<std::int64_t> re, im;
      zel::parse_hex_packed(text, s, path, re, im);
      out.push_back({label + " re", std::move(re), frame_length, s});
      out.push_back({label + " im", std::move(im), frame_length, s});
    } else {
      out.push_back({label, zel::parse_hex(text, s, path), frame_length, s});
    }
  }
  return out;
}

std::string word_text(std::int64_t w, const std::optional<zel::WordSpec> &wfmt) {
  std::string s;
  if (wfmt) {
    const int digits = zel::hex_digits(wfmt->width);
    const auto p = static_cast<std::uint64_t>(w) & ((std::uint64_t{1} << wfmt->width) - 1);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llx (", digits, static_cast<unsigned long long>(p));
    s = buf;
  }
  s += std::to_string(w);
  if (wfmt) s += ")";
  return s;
}

struct Tally {
  std::size_t words = 0, mismatches = 0, shown = 0, files_differ = 0;
};

// Compares one quantity pair; prints the first mismatches and a summary line.
void compare_one(const Quantity &e, const Quantity &a, const CompareOptions &o, Tally &t) {
  const std::size_t n = std::min(e.words.size(), a.words.size());
  const std::size_t fl = e.frame_length ? e.frame_length : a.frame_length;
  std::size_t bad = 0, first_frame = 0, last_frame = 0;
  unsigned __int128 largest = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const __int128 d = static_cast<__int128>(a.words[i]) - e.words[i];
    const auto mag = static_cast<unsigned __int128>(d < 0 ? -d : d);
    if (mag <= static_cast<unsigned __int128>(o.tolerance)) continue;
    const std::size_t frame = fl ? i / fl : 0, index = fl ? i % fl : i;
    if (!bad) first_frame = frame;
    last_frame = frame;
    ++bad;
    largest = std::max(largest, mag);
    if (t.shown < o.show) {
      ++t.shown;
      std::printf("%s: ", e.label.c_str());
      if (fl) std::printf("frame %zu, index %zu", frame, index);
      else std::printf("index %zu", index);
      std::printf(": expected %s, actual %s, difference %s%lld LSB\n", word_text(e.words[i], e.wfmt).c_str(),
                  word_text(a.words[i], e.wfmt).c_str(), d > 0 ? "+" : "", static_cast<long long>(d));
    }
  }
  t.words += n;
  t.mismatches += bad;
  if (e.words.size() != a.words.size()) {
    std::printf("%s: the actual file holds %zu words, %zu expected\n", e.label.c_str(), a.words.size(), e.words.size());
    ++t.files_differ;
    if (!bad) return;
  }
  if (bad) {
    if (e.words.size() == a.words.size()) ++t.files_differ;
    std::printf("%s: %zu of %zu words differ", e.label.c_str(), bad, n);
    if (fl && first_frame == last_frame) std::printf(" (frame %zu)", first_frame);
    else if (fl) std::printf(" (frames %zu to %zu)", first_frame, last_frame);
    std::printf(", largest difference %lld LSB\n", static_cast<long long>(largest));
  }
}

// The manifest of a set: the file itself or manifest.json in a folder.
std::optional<std::string> manifest_path(const std::string &p) {
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    const std::string m = (fs::path(p) / "manifest.json").string();
    if (fs::exists(m, ec)) return m;
    throw InputError(p + ": a folder without manifest.json; give the expected vector set or a vector file");
  }
  if (fs::path(p).filename() == "manifest.json") return p;
  return std::nullopt;
}

}  // namespace

int run_compare(const CompareOptions &o) {
  Tally t;
  std::size_t files = 0;
  std::optional<zel::WordSpec> given;
  if (o.width) given = zel::WordSpec{o.width, !o.is_unsigned};

  if (const auto manifest = manifest_path(o.expected)) {
    json m;
    try {
      m = json::parse(zel::read_file(*manifest));
    } catch (const json::exception &e) {
      throw InputError(*manifest + ": not a manifest: " + e.what());
    }
    if (!m.contains("files") || !m["files"].is_array()) throw InputError(*manifest + ": not a manifest (no file list)");
    const fs::path set_dir = fs::path(*manifest).parent_path();
    std::error_code ec;
    const bool actual_is_dir = fs::is_directory(o.actual, ec);
    if (!actual_is_dir && !fs::exists(o.actual, ec)) throw InputError(o.actual + ": no such file or folder");
    std::vector<std::string> looked_for;
    for (const auto &f : m["files"]) {
      if (f.value("role", "") != "expected") continue;
      const std::string name = f.value("name", "");
      if (name.empty()) continue;
      looked_for.push_back(name);
      const std::string actual = actual_is_dir ? (fs::path(o.actual) / name).string() : o.actual;
      if (!actual_is_dir && fs::path(o.actual).filename() != name) continue;
      if (!fs::exists(actual, ec)) continue;
      std::optional<zel::WordSpec> wfmt;
      if (f.contains("word_width")) wfmt = zel::WordSpec{f["word_width"].get<int>(), f.value("signed", true)};
      const bool packed = f.contains("packing");
      const std::size_t fl = f.value("frame_length", std::size_t{0});
      const auto expected = read_quantities((set_dir / name).string(), name, wfmt, packed, fl);
      auto actualq = read_quantities(actual, name, wfmt, packed, fl);
      ++files;
      for (const auto &e : expected) {
        const Quantity *match = nullptr;
        for (const auto &q : actualq)
          if (q.label == e.label) match = &q;
        if (!match) throw InputError(actual + ": has no " + e.label);
        compare_one(e, *match, o, t);
      }
    }
    if (!files) {
      std::string list;
      for (std::size_t i = 0; i < looked_for.size(); ++i) list += (i ? ", " : "") + looked_for[i];
      throw InputError(o.actual + ": none of the expected files of the set found (" + list + ")");
    }
  } else {
    if (ext_of(o.expected) != ext_of(o.actual))
      throw InputError(o.actual + ": not the format of " + o.expected + " (compare files of one format)");
    const std::string label = fs::path(o.expected).filename().string();
    std::optional<zel::WordSpec> wfmt = given;
    if (!wfmt && ext_of(o.expected) != ".npy" && ext_of(o.expected) != ".csv") {
      const std::string text = zel::read_file(o.expected);
      const int w = hex_width_guess(text);
      wfmt = zel::WordSpec{o.packed ? std::max(1, w / 2) : w, !o.is_unsigned};
    }
    const auto e = read_quantities(o.expected, label, wfmt, o.packed, o.frame_length);
    const auto a = read_quantities(o.actual, label, wfmt, o.packed, o.frame_length);
    files = 1;
    for (std::size_t i = 0; i < e.size(); ++i) {
      const Quantity *match = nullptr;
      for (const auto &q : a)
        if (q.label == e[i].label) match = &q;
      if (!match) throw InputError(o.actual + ": has no " + e[i].label.substr(label.size() + 1));
      compare_one(e[i], *match, o, t);
    }
  }
  if (t.mismatches > t.shown) std::printf("(%zu more mismatches not listed)\n", t.mismatches - t.shown);
  const std::string within = o.tolerance ? " within " + std::to_string(o.tolerance) + " LSB" : " bit for bit";
  if (t.files_differ) {
    std::printf("DIFFERENT: %zu mismatching word%s in %zu of %zu files (%zu words compared%s)\n", t.mismatches,
                t.mismatches == 1 ? "" : "s", t.files_differ, files, t.words, within.c_str());
    return 1;
  }
  std::printf("EQUAL: %zu files, %zu words%s\n", files, t.words, within.c_str());
  return 0;
}

}  // namespace zelvec
