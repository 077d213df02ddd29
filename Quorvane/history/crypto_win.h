// The system's cryptography for the history: AES-256-GCM, random bytes and
// key derivation through CNG (bcrypt.dll), and keys wrapped for the user who
// runs the program through DPAPI (crypt32.dll), which on Windows no other
// user and no other machine can unwrap.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "history/aead.h"
#include "raii_win.h"

namespace kestrin {

// A key's bytes, wiped when they go.
class SecretKey {
 public:
  SecretKey() = default;
  SecretKey(const SecretKey& other) = default;
  SecretKey& operator=(const SecretKey& other) = default;
  ~SecretKey() { SecureZeroMemory(bytes.data(), bytes.size()); }
  std::array<uint8_t, Aead::kKeySize> bytes{};
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }
};

struct AlgorithmTraits {
  static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct CngKeyTraits {
  static BCRYPT_KEY_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_KEY_HANDLE h) { BCryptDestroyKey(h); }
};

// AES-256-GCM under one key. One per thread that uses it.
class CngAead final : public Aead {
 public:
  explicit CngAead(const SecretKey& key);
  bool usable() const { return static_cast<bool>(key_); }
  bool seal(const Nonce& nonce, std::string_view aad, char* data, std::size_t size, Tag& tag) const override;
  bool open(const Nonce& nonce, std::string_view aad, std::string_view in, const Tag& tag,
            char* out) const override;

 private:
  UniqueResource<BCRYPT_ALG_HANDLE, AlgorithmTraits> algorithm_;
  UniqueResource<BCRYPT_KEY_HANDLE, CngKeyTraits> key_;
};

bool random_bytes(void* out, std::size_t size);
std::optional<SecretKey> random_key();

// DPAPI for the current user, never with a prompt: none when the system
// refuses (unwrapped by another user, or on another machine).
std::optional<std::string> wrap_for_user(std::string_view secret);
// The secret's bytes: the caller wipes them when done.
std::optional<std::string> unwrap_for_user(std::string_view blob);
std::optional<SecretKey> unwrap_key_for_user(std::string_view blob);

// PBKDF2-HMAC-SHA256 of a passphrase (UTF-8).
std::optional<SecretKey> passphrase_key(std::string_view passphrase, std::string_view salt, uint32_t rounds);
// HMAC-SHA256 of `data` under `key`: a key of its own for each use of one key.
std::optional<SecretKey> derived_key(const SecretKey& key, std::string_view data);

}  // namespace kestrin
