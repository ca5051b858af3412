// Captures everything written to file descriptor 2 (std::cerr and stderr)
// while the object lives, so tests can compare exact diagnostic lines.
#pragma once

#include <cstdio>
#include <iostream>
#include <string>

#include <unistd.h>

namespace testsupport {

class StderrCapture {
 public:
  StderrCapture() {
    std::cerr.flush();
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = dup(2);
    dup2(fileno(file_), 2);
  }
  ~StderrCapture() {
    if (saved_ >= 0) restore();
    std::fclose(file_);
  }
  StderrCapture(const StderrCapture &) = delete;
  StderrCapture &operator=(const StderrCapture &) = delete;

  // Stops capturing and returns what was written.
  std::string text() {
    if (saved_ >= 0) restore();
    std::string out;
    std::rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  void restore() {
    std::cerr.flush();
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  std::FILE *file_ = nullptr;
  int saved_ = -1;
};

}  // namespace testsupport
