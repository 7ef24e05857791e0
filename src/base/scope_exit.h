#pragma once
#include <utility>

namespace imptherm {

// Runs an action when the scope ends, however it ends, unless Release was
// called first.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F action) : action_(std::move(action)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (armed_) action_();
  }
  void Release() { armed_ = false; }

 private:
  F action_;
  bool armed_ = true;
};

}  // namespace imptherm
