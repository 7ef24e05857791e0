#pragma once
#include <cstddef>
#include <utility>

namespace imptherm {

// Room for many megabytes filled once from start to end, such as the data
// lines of a print run. It is not cleared first, and where the system has
// huge pages it asks for them: the kernel then makes twelve megabytes ready
// in six page faults instead of three thousand, each of which costs more
// than clearing its page. Memory that nothing writes to is still never
// touched.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(std::size_t size);
  ~LargeBuffer();
  LargeBuffer(LargeBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        released_(std::exchange(other.released_, 0)) {}
  LargeBuffer& operator=(LargeBuffer&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(released_, other.released_);
    return *this;
  }
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  // New room of `size` bytes holding the first `kept` bytes of this one.
  LargeBuffer Resized(std::size_t size, std::size_t kept) const;
  // Gives the memory of the first `bytes` back to the system, as far as it
  // is in whole huge pages; what is given back reads as zeros after.
  void Release(std::size_t bytes);

  char* data() { return data_; }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t released_ = 0;
};

}  // namespace imptherm
