#include "history/crypto_win.h"

#include <wincrypt.h>

#include <algorithm>
#include <limits>

namespace kestrin {

namespace {

bool succeeded(NTSTATUS status) { return status >= 0; }

PUCHAR bytes(std::string_view s) { return reinterpret_cast<PUCHAR>(const_cast<char*>(s.data())); }

bool fits(std::size_t size) { return size <= std::numeric_limits<ULONG>::max(); }

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO mode_info(const Aead::Nonce& nonce, std::string_view aad, Aead::Tag& tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = const_cast<PUCHAR>(nonce.data());
  info.cbNonce = static_cast<ULONG>(nonce.size());
  info.pbAuthData = bytes(aad);
  info.cbAuthData = static_cast<ULONG>(aad.size());
  info.pbTag = tag.data();
  info.cbTag = static_cast<ULONG>(tag.size());
  return info;
}

}  // namespace

CngAead::CngAead(const SecretKey& key) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0))) return;
  algorithm_.reset(algorithm);
  static const wchar_t kGcm[] = BCRYPT_CHAIN_MODE_GCM;
  if (!succeeded(BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(kGcm)),
                                   sizeof kGcm, 0))) {
    return;
  }
  BCRYPT_KEY_HANDLE handle = nullptr;
  if (succeeded(BCryptGenerateSymmetricKey(algorithm, &handle, nullptr, 0, const_cast<PUCHAR>(key.bytes.data()),
                                           static_cast<ULONG>(key.bytes.size()), 0))) {
    key_.reset(handle);
  }
}

bool CngAead::seal(const Nonce& nonce, std::string_view aad, char* data, std::size_t size, Tag& tag) const {
  if (!key_ || !fits(size) || !fits(aad.size())) return false;
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = mode_info(nonce, aad, tag);
  ULONG written = 0;
  auto* p = reinterpret_cast<PUCHAR>(data);
  return succeeded(BCryptEncrypt(key_.get(), p, static_cast<ULONG>(size), &info, nullptr, 0, p,
                                 static_cast<ULONG>(size), &written, 0)) &&
         written == size;
}

bool CngAead::open(const Nonce& nonce, std::string_view aad, std::string_view in, const Tag& tag, char* out) const {
  if (!key_ || !fits(in.size()) || !fits(aad.size())) return false;
  Tag expected = tag;
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = mode_info(nonce, aad, expected);
  ULONG written = 0;
  return succeeded(BCryptDecrypt(key_.get(), bytes(in), static_cast<ULONG>(in.size()), &info, nullptr, 0,
                                 reinterpret_cast<PUCHAR>(out), static_cast<ULONG>(in.size()), &written, 0)) &&
         written == in.size();
}

bool random_bytes(void* out, std::size_t size) {
  return fits(size) && succeeded(BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                                 BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

std::optional<SecretKey> random_key() {
  SecretKey key;
  if (!random_bytes(key.bytes.data(), key.bytes.size())) return std::nullopt;
  return key;
}

std::optional<std::string> wrap_for_user(std::string_view secret) {
  DATA_BLOB in{static_cast<DWORD>(secret.size()), bytes(secret)};
  DATA_BLOB out{};
  if (!fits(secret.size()) ||
      !CryptProtectData(&in, L"Kestrin", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
    return std::nullopt;
  }
  std::string blob(reinterpret_cast<const char*>(out.pbData), out.cbData);
  LocalFree(out.pbData);
  return blob;
}

std::optional<std::string> unwrap_for_user(std::string_view blob) {
  DATA_BLOB in{static_cast<DWORD>(blob.size()), bytes(blob)};
  DATA_BLOB out{};
  if (!fits(blob.size()) ||
      !CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
    return std::nullopt;
  }
  std::string secret(reinterpret_cast<const char*>(out.pbData), out.cbData);
  SecureZeroMemory(out.pbData, out.cbData);
  LocalFree(out.pbData);
  return secret;
}

std::optional<SecretKey> unwrap_key_for_user(std::string_view blob) {
  std::optional<std::string> secret = unwrap_for_user(blob);
  if (!secret) return std::nullopt;
  std::optional<SecretKey> key;
  if (secret->size() == Aead::kKeySize) {
    key.emplace();
    std::copy_n(secret->begin(), secret->size(), key->bytes.begin());
  }
  SecureZeroMemory(secret->data(), secret->size());
  return key;
}

std::optional<SecretKey> passphrase_key(std::string_view passphrase, std::string_view salt, uint32_t rounds) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
    return std::nullopt;
  }
  const UniqueResource<BCRYPT_ALG_HANDLE, AlgorithmTraits> algorithm(handle);
  SecretKey key;
  if (!fits(passphrase.size()) || !fits(salt.size()) ||
      !succeeded(BCryptDeriveKeyPBKDF2(handle, bytes(passphrase), static_cast<ULONG>(passphrase.size()), bytes(salt),
                                       static_cast<ULONG>(salt.size()), rounds, key.bytes.data(),
                                       static_cast<ULONG>(key.bytes.size()), 0))) {
    return std::nullopt;
  }
  return key;
}

std::optional<SecretKey> derived_key(const SecretKey& key, std::string_view data) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
    return std::nullopt;
  }
  const UniqueResource<BCRYPT_ALG_HANDLE, AlgorithmTraits> algorithm(handle);
  SecretKey out;
  if (!fits(data.size()) ||
      !succeeded(BCryptHash(handle, const_cast<PUCHAR>(key.bytes.data()), static_cast<ULONG>(key.bytes.size()),
                            bytes(data), static_cast<ULONG>(data.size()), out.bytes.data(),
                            static_cast<ULONG>(out.bytes.size())))) {
    return std::nullopt;
  }
  return out;
}

}  // namespace kestrin
