// Numbers as the history's files hold them: little-endian, of a given width.
// Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

inline void put_le(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The caller has checked that `bytes` bytes lie at `at`.
inline uint64_t get_le(std::string_view in, std::size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= uint64_t{static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)])} << (8 * i);
  }
  return value;
}

}  // namespace kestrin
