// Exceptions of the fixed-point number classes. They deliberately do not
// derive from std::exception: callers of the number layer catch them by
// class, and the FFT engines (which compute only in wrapping formats) never
// see them. Every class derives from ZelNumException::Any so that one
// handler can catch the whole family.
#pragma once

#include <exception>
#include <new>
#include <string>

namespace zel {
namespace ZelNumException {

// Common base of the family; carries nothing itself.
class Any {
 public:
  virtual ~Any() = default;
  // A readable description: the class name, then the text and value where present.
  virtual std::string describe() const = 0;
};

// Misuse of an argument: carries the parameter name (or a message) and the
// offending integer value ("index", "val", "a", or a static-operation message with 0).
class IllegalIntArg : public Any {
 public:
  IllegalIntArg(std::string text, int value) : text_(std::move(text)), value_(value) {}
  const std::string& text() const { return text_; }
  int value() const { return value_; }
  std::string describe() const override;

 private:
  std::string text_;
  int value_;
};

// A value did not fit under overflow mode Error: carries the text of the
// operation and 0, or the direction -1 / +1 of the overflow, or 1 for
// "on unsigned to signed".
class Overflow : public Any {
 public:
  Overflow(std::string text, int value) : text_(std::move(text)), value_(value) {}
  const std::string& text() const { return text_; }
  int value() const { return value_; }
  std::string describe() const override;

 private:
  std::string text_;
  int value_;
};

// A format request the library does not support (formats of Booleans).
class UnimplementedSpec : public Any {
 public:
  std::string describe() const override;
};

// A word array of more than 256 words (more than 4096 bits) was requested.
class tooManyBits : public Any {
 public:
  std::string describe() const override;
};

}  // namespace ZelNumException

// The standard exceptions the number layer raises for internal misuse carry
// the system's own texts: an invalid overflow mode in a shift or an invalid
// word count throws BadException ("bad exception"); a failed temporary of the
// pool throws BadAllocation ("bad allocation").
class BadException : public std::bad_exception {
 public:
  const char* what() const noexcept override { return "bad exception"; }
};
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace zel
