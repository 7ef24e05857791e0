#pragma once
#include <utility>

namespace imptherm {

// Owns one handle of a C interface (a file descriptor, a Windows HANDLE or
// device context) and gives it back when it goes out of scope. Traits names
// the type, the value that is no handle, and how one is given back:
//   struct Traits {
//     using Handle = int;
//     static Handle Invalid() { return -1; }
//     static void Close(Handle h) { ::close(h); }
//   };
template <typename Traits>
class OwnedHandle {
 public:
  using Handle = typename Traits::Handle;

  OwnedHandle() = default;
  explicit OwnedHandle(Handle h) : h_(h) {}
  OwnedHandle(OwnedHandle&& other) noexcept : h_(other.Release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  // Hands the handle over without giving it back.
  Handle Release() { return std::exchange(h_, Traits::Invalid()); }
  void Reset(Handle h = Traits::Invalid()) {
    const Handle old = std::exchange(h_, h);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Handle h_ = Traits::Invalid();
};

}  // namespace imptherm
