#include "output.h"

#include "parallel.h"
#include "run_file.h"

#include <unistd.h>

#include <atomic>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace zelvec {

namespace {

std::string hidden_sibling(const std::string &folder, const char *what) {
  fs::path p = fs::path(folder).lexically_normal();
  if (p.filename().empty()) p = p.parent_path();
  std::string name(1, '.');
  name += p.filename().string();
  name += '.';
  name += what;
  name += '-';
  name += std::to_string(::getpid());
  return (p.parent_path() / name).string();
}

}  // namespace

json column_meta(const Column &c) {
  json m;
  m["word_width"] = c.wfmt.width;
  m["signed"] = c.wfmt.is_signed;
  m["encoding"] = c.encoding;
  return m;
}

OutputSet::OutputSet(std::string folder) : folder_(std::move(folder)) {
  std::error_code ec;
  if (fs::exists(folder_, ec)) {
    if (!fs::is_directory(folder_, ec)) throw InputError(folder_ + ": output folder exists and is not a folder");
    if (!fs::exists(fs::path(folder_) / "manifest.json", ec) && !fs::is_empty(folder_, ec))
      throw InputError(folder_ + ": output folder exists and is not a vector set (no manifest.json); not replacing it");
  }
  temp_ = hidden_sibling(folder_, "partial");
}

OutputSet::~OutputSet() {
  if (early_.joinable()) early_.join();
  if (!committed_) {
    std::error_code ec;
    fs::remove_all(temp_, ec);
  }
}

void OutputSet::begin() {
  if (fs::exists(temp_)) return;
  std::error_code ec;
  const fs::path parent = fs::path(temp_).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  if (!fs::create_directory(temp_, ec) && ec)
    throw zel::VectorError(temp_ + ": cannot create: " + ec.message());
}

void OutputSet::add(const std::string &name, std::function<std::string(const std::string &)> write, json meta,
                    std::size_t count) {
  json entry;
  entry["name"] = name;
  entry.update(meta);
  entry["count"] = count;
  entry["sha256"] = "";  // filled in when written
  files_.push_back(std::move(entry));
  writes_.push_back(std::move(write));
}

void OutputSet::add_columns(const std::string &base, const std::string &role, const std::vector<Column> &columns,
                            std::size_t frame_length, const Formats &formats, const std::string &order,
                            const std::string &index_name) {
  const std::size_t count = columns.empty() ? 0 : columns[0].words->size();
  const std::size_t frames = frame_length ? count / frame_length : 0;
  auto meta = [&](const char *format, const Column *c) {
    json m;
    m["format"] = format;
    m["role"] = role;
    if (c) {
      m["quantity"] = c->name;
      m.update(column_meta(*c));
    }
    m["order"] = order;
    if (frame_length) {
      m["frames"] = frames;
      m["frame_length"] = frame_length;
    }
    return m;
  };
  const bool packed = formats.packed && columns.size() == 2 && columns[0].name == "re" && columns[1].name == "im" &&
                      columns[0].wfmt.width == columns[1].wfmt.width &&
                      columns[0].wfmt.is_signed == columns[1].wfmt.is_signed;
  if (formats.hex) {
    if (packed) {
      json m = meta("hex", &columns[0]);
      m["quantity"] = "{im, re}";
      m["packing"] = "each line one word of 2 x word_width bits: im in the upper half, re in the lower";
      add(base + ".hex",
          [re = columns[0], im = columns[1]](const std::string &p) {
            return zel::write_hex_packed_file(p, *re.words, *im.words, re.wfmt);
          },
          m, count);
    } else {
      for (const auto &c : columns)
        add(base + "_" + c.name + ".hex", [c](const std::string &p) { return zel::write_hex_file(p, *c.words, c.wfmt); },
            meta("hex", &c), count);
    }
  }
  if (formats.npy) {
    const std::vector<std::size_t> shape = frame_length ? std::vector<std::size_t>{frames, frame_length}
                                                        : std::vector<std::size_t>{count};
    for (const auto &c : columns) {
      json m = meta("npy", &c);
      m["shape"] = shape;
      add(base + "_" + c.name + ".npy",
          [c, shape](const std::string &p) { return zel::write_npy_file(p, *c.words, shape); }, m, count);
    }
  }
  if (formats.csv) {
    json m = meta("csv", nullptr);
    json cols = json::array();
    for (const auto &c : columns) {
      json cm;
      cm["quantity"] = c.name;
      cm.update(column_meta(c));
      cols.push_back(cm);
    }
    m["columns"] = cols;
    // The table (frame and index columns beside copies of the words) is
    // built when the file is written, so that only the tables being written
    // at the time take memory.
    add(base + ".csv",
        [columns, count, frame_length, index_name](const std::string &p) {
          zel::CsvTable table;
          if (frame_length) {
            std::vector<std::int64_t> frame_col(count);
            for (std::size_t i = 0; i < count; ++i) frame_col[i] = static_cast<std::int64_t>(i / frame_length);
            table.names.push_back("frame");
            table.columns.push_back(std::move(frame_col));
          }
          std::vector<std::int64_t> index_col(count);
          for (std::size_t i = 0; i < count; ++i)
            index_col[i] = static_cast<std::int64_t>(frame_length ? i % frame_length : i);
          table.names.push_back(frame_length ? "index" : index_name);
          table.columns.push_back(std::move(index_col));
          for (const auto &c : columns) {
            table.names.push_back(c.name);
            table.columns.push_back(*c.words);
          }
          return zel::write_csv_file(p, table);
        },
        m, count);
  }
}

void OutputSet::start_writing() {
  if (early_.joinable() || early_count_ > 0 || writes_.empty()) return;
  begin();
  const std::size_t n = writes_.size();
  early_paths_.clear();
  for (std::size_t i = 0; i < n; ++i)
    early_paths_.push_back((fs::path(temp_) / files_[i]["name"].get<std::string>()).string());
  early_writes_ = std::move(writes_);
  writes_.assign(n, nullptr);  // their places in the list stay taken
  early_digests_.assign(n, std::string());
  early_errors_.assign(n, nullptr);
  try {
    early_ = std::thread([this, n] {
      for (std::size_t i = 0; i < n; ++i) {
        try {
          early_digests_[i] = early_writes_[i](early_paths_[i]);
        } catch (...) {
          early_errors_[i] = std::current_exception();
          return;
        }
      }
    });
    early_count_ = n;
  } catch (const std::system_error &) {
    writes_ = std::move(early_writes_);  // no thread: commit() writes them
  }
}

void OutputSet::commit(json manifest) {
  begin();
  if (early_.joinable()) early_.join();
  // Files on a shared queue, the largest (first added) taken first; the
  // digests go to their own entries, and the first failing file in list
  // order is the one reported, whatever the number of threads.
  const std::size_t n = writes_.size();
  std::vector<std::string> digests(n);
  std::vector<std::exception_ptr> errors(n);
  for (std::size_t i = 0; i < early_count_; ++i) {
    digests[i] = std::move(early_digests_[i]);
    errors[i] = early_errors_[i];
  }
  std::atomic<std::size_t> next{early_count_};
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < n;) {
      try {
        digests[i] = writes_[i]((fs::path(temp_) / files_[i]["name"].get<std::string>()).string());
      } catch (...) {
        errors[i] = std::current_exception();
        next = n;  // the set fails: start no more files
      }
    }
  };
  std::vector<std::thread> pool;
  const unsigned workers = zel::worker_count(threads_, n - early_count_);
  try {
    for (unsigned w = 1; w < workers; ++w) pool.emplace_back(work);
  } catch (const std::system_error &) {
    // No more threads: those started and this one share the queue.
  }
  work();
  for (auto &t : pool) t.join();
  for (auto &e : errors)
    if (e) std::rethrow_exception(e);
  early_writes_.clear();
  for (std::size_t i = 0; i < n; ++i) files_[i]["sha256"] = digests[i];
  manifest["files"] = files_;
  const std::string text = manifest.dump(2) + "\n";
  zel::write_file((fs::path(temp_) / "manifest.json").string(), text);
  std::error_code ec;
  const std::string old = hidden_sibling(folder_, "old");
  if (fs::exists(folder_, ec)) {
    fs::rename(folder_, old, ec);
    if (ec) throw zel::VectorError(folder_ + ": cannot replace: " + ec.message());
  }
  fs::rename(temp_, folder_, ec);
  if (ec) {
    std::error_code ignored;
    if (fs::exists(old, ignored)) fs::rename(old, folder_, ignored);
    throw zel::VectorError(folder_ + ": cannot create: " + ec.message());
  }
  committed_ = true;
  fs::remove_all(old, ec);
}

}  // namespace zelvec
