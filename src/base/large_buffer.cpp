#include "base/large_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imptherm {
namespace {

#if defined(__linux__)
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#endif

}  // namespace

LargeBuffer::LargeBuffer(std::size_t size) : size_(size) {
  if (size == 0) return;
  void* p = nullptr;
#if defined(__linux__)
  // Only whole huge pages can be huge pages: the room is aligned to them
  // and the advice covers the ones it fills. Without the advice (a kernel
  // that has no such pages, or has them switched off) the room is the same.
  if (size >= kHugePage) {
    const std::size_t whole = (size + kHugePage - 1) / kHugePage * kHugePage;
    if (::posix_memalign(&p, kHugePage, whole) != 0) throw std::bad_alloc();
    ::madvise(p, whole, MADV_HUGEPAGE);
  }
#endif
  if (!p) p = std::malloc(size);
  if (!p) throw std::bad_alloc();
  data_ = static_cast<char*>(p);
}

LargeBuffer::~LargeBuffer() { std::free(data_); }

LargeBuffer LargeBuffer::Resized(std::size_t size, std::size_t kept) const {
  LargeBuffer other(size);
  if (kept > 0) std::memcpy(other.data_, data_, kept);
  return other;
}

void LargeBuffer::Release(std::size_t bytes) {
#if defined(__linux__)
  // Only the room made of huge pages starts on one.
  if (size_ < kHugePage) return;
  const std::size_t whole = bytes / kHugePage * kHugePage;
  if (whole <= released_) return;
  ::madvise(data_ + released_, whole - released_, MADV_DONTNEED);
  released_ = whole;
#else
  (void)bytes;
#endif
}

}  // namespace imptherm
