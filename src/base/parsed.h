#pragma once
#include <string>
#include <utility>
#include <variant>

namespace imptherm {

// Why outside text (an answer, a page, a file, a command line) was refused,
// in words that can be shown as they stand.
struct ParseError {
  std::string text;
};

// What a parser of outside text gives back: the value, or the reason it was
// refused. Refusing text is an expected outcome, not a failure of the
// machine, so parsers return it instead of raising.
template <typename T>
class Parsed {
 public:
  Parsed(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Parsed(ParseError error) : v_(std::in_place_index<1>, std::move(error)) {}

  explicit operator bool() const { return v_.index() == 0; }
  T& operator*() { return std::get<0>(v_); }
  const T& operator*() const { return std::get<0>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  // Only when refused.
  const std::string& error() const { return std::get<1>(v_).text; }

 private:
  std::variant<T, ParseError> v_;
};

}  // namespace imptherm
