// A vector set on disk: files are written into a hidden folder beside the
// output folder and the whole set appears under its name only when every
// file and the manifest are written, so a failed run leaves nothing behind.
#pragma once

#include "vectors.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <exception>
#include <string_view>
#include <thread>
#include <vector>

namespace zelvec {

using json = nlohmann::ordered_json;

struct Formats {
  bool hex = true;
  bool npy = true;
  bool csv = true;
  bool packed = false;  // hex: one {im, re} word a line instead of two files
};

// One column of words, as the manifest describes it.
struct Column {
  std::string name;  // "re", "x", "block_exp", ...
  zel::WordSpec wfmt;
  std::string encoding = "twos_complement";  // or "unsigned", "ieee754_binary32"
  const std::vector<std::int64_t> *words = nullptr;
};

class OutputSet {
 public:
  // Refuses (InputError) a folder that exists and is not a vector set: only
  // a folder holding a manifest.json is ever replaced. Creates nothing yet.
  explicit OutputSet(std::string folder);
  ~OutputSet();
  OutputSet(const OutputSet &) = delete;
  OutputSet &operator=(const OutputSet &) = delete;

  const std::string &folder() const { return folder_; }
  std::size_t file_count() const { return files_.size(); }

  // Files are written by commit() on this many threads (0: one per core);
  // the files and the manifest are the same for any number.
  void set_threads(unsigned threads) { threads_ = threads; }

  // Records one file of the set, in the manifest's list: commit() writes it
  // with write(path), which returns the file's SHA-256. `meta` is completed
  // with name, count and sha256. Whatever `write` reads must live until then.
  void add(const std::string &name, std::function<std::string(const std::string &)> write, json meta,
           std::size_t count);

  // Words grouped in frames of `frame_length`, in every chosen format:
  // <base>_<column>.hex (or <base>.hex packed, for two columns re and im),
  // <base>_<column>.npy of shape (frames, frame_length) (or (count,) when
  // frame_length is 0), and <base>.csv with frame and index columns (or an
  // index column alone) before the word columns.
  void add_columns(const std::string &base, const std::string &role, const std::vector<Column> &columns,
                   std::size_t frame_length, const Formats &formats, const std::string &order,
                   const std::string &index_name = "index");

  // Starts writing the files recorded so far on a thread of their own
  // (while the caller computes the rest of the set); commit() waits for it.
  // Without a thread to spare they are written by commit() like the others.
  void start_writing();

  // Writes every file (files are independent: several at once), then
  // manifest.json (with "files" appended), and puts the set in place.
  void commit(json manifest);

 private:
  void begin();

  std::string folder_;
  std::string temp_;
  bool committed_ = false;
  unsigned threads_ = 0;
  json files_ = json::array();
  std::vector<std::function<std::string(const std::string &)>> writes_;  // one per entry of files_
  // Files given to start_writing(): the first early_count_ of the list,
  // their jobs (moved out of writes_) and results, owned by early_ until joined.
  std::size_t early_count_ = 0;
  std::vector<std::function<std::string(const std::string &)>> early_writes_;
  std::vector<std::string> early_paths_, early_digests_;
  std::vector<std::exception_ptr> early_errors_;
  std::thread early_;
};

// Word-width text for the manifest.
json column_meta(const Column &c);

}  // namespace zelvec
