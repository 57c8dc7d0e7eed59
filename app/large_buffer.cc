// app/large_buffer.cc
#include "app/large_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <stdexcept>

namespace tavrel {
namespace {

// Below this, huge pages buy nothing.
constexpr std::size_t kHugePageWorthwhile = 4u << 20;

void AdviseHugePages(char* data, std::size_t size) noexcept {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t aligned = (begin + page - 1) & ~(page - 1);
  if (aligned >= begin + size) return;
  // Only a hint: where the kernel keeps huge pages off, nothing changes.
  (void)::madvise(reinterpret_cast<void*>(aligned), begin + size - aligned, MADV_HUGEPAGE);
}

}  // namespace

bool ResizeLargeBuffer(std::string& buffer, std::size_t size) noexcept {
  buffer.clear();
  try {
    if (size >= kHugePageWorthwhile) {
      buffer.shrink_to_fit();
      buffer.reserve(size);
      AdviseHugePages(buffer.data(), buffer.capacity());
    }
    buffer.resize(size);
  } catch (const std::bad_alloc&) {
    buffer = std::string();
    return false;
  } catch (const std::length_error&) {
    buffer = std::string();
    return false;
  }
  return true;
}

}  // namespace tavrel
