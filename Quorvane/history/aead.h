// An authenticated cipher under one key (AES-256-GCM): what the history file
// and the shared folder's logs are sealed with. The program's own is the
// system's (CNG); the file layout above it is platform-free.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrin {

class Aead {
 public:
  static constexpr std::size_t kKeySize = 32, kNonceSize = 12, kTagSize = 16;
  using Nonce = std::array<uint8_t, kNonceSize>;
  using Tag = std::array<uint8_t, kTagSize>;

  virtual ~Aead() = default;
  // Encrypts `size` bytes at `data` in place, with `aad` authenticated along.
  virtual bool seal(const Nonce& nonce, std::string_view aad, char* data, std::size_t size, Tag& tag) const = 0;
  // Decrypts `in` into `out` (as many bytes); false when the tag does not
  // hold (what `out` holds then is nothing).
  virtual bool open(const Nonce& nonce, std::string_view aad, std::string_view in, const Tag& tag,
                    char* out) const = 0;
};

}  // namespace kestrin
