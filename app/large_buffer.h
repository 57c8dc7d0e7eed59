// app/large_buffer.h
//
// Buffers for whole files and the forms that carry them. Memory that is
// touched for the first time is slow to come by on these machines (each 4 KiB
// page faults on its own), so large buffers ask the kernel for huge pages
// before they are filled.
//
//   std::string data;
//   if (!ResizeLargeBuffer(data, size)) return {};   // out of memory
#ifndef TAVREL_APP_LARGE_BUFFER_H_
#define TAVREL_APP_LARGE_BUFFER_H_

#include <cstddef>
#include <string>

namespace tavrel {

// Makes `buffer` hold `size` bytes (zero bytes at first) in one allocation.
// False, with `buffer` left empty, when the memory cannot be had.
[[nodiscard]] bool ResizeLargeBuffer(std::string& buffer, std::size_t size) noexcept;

}  // namespace tavrel

#endif  // TAVREL_APP_LARGE_BUFFER_H_
