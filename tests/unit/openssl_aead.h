// AES-256-GCM through OpenSSL: the tests' cipher for the sealed layouts (the
// program's own is the system's). A second, independent implementation of the
// same algorithm, so a round trip here shows the layout, not one library.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>

#include "history/aead.h"

namespace kestrin::test {

class OpensslAead final : public Aead {
 public:
  explicit OpensslAead(std::string key) : key_(std::move(key)) { key_.resize(kKeySize, '\0'); }

  bool seal(const Nonce& nonce, std::string_view aad, char* data, std::size_t size, Tag& tag) const override {
    Context c(EVP_CIPHER_CTX_new());
    int n = 0;
    const auto* d = reinterpret_cast<unsigned char*>(data);
    return c && EVP_EncryptInit_ex(c.get(), EVP_aes_256_gcm(), nullptr, key(), nonce.data()) == 1 &&
           EVP_EncryptUpdate(c.get(), nullptr, &n, bytes(aad), static_cast<int>(aad.size())) == 1 &&
           EVP_EncryptUpdate(c.get(), const_cast<unsigned char*>(d), &n, d, static_cast<int>(size)) == 1 &&
           EVP_EncryptFinal_ex(c.get(), const_cast<unsigned char*>(d) + n, &n) == 1 &&
           EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, tag.data()) == 1;
  }

  bool open(const Nonce& nonce, std::string_view aad, std::string_view in, const Tag& tag,
            char* out) const override {
    Context c(EVP_CIPHER_CTX_new());
    int n = 0;
    Tag expected = tag;
    auto* o = reinterpret_cast<unsigned char*>(out);
    return c && EVP_DecryptInit_ex(c.get(), EVP_aes_256_gcm(), nullptr, key(), nonce.data()) == 1 &&
           EVP_DecryptUpdate(c.get(), nullptr, &n, bytes(aad), static_cast<int>(aad.size())) == 1 &&
           EVP_DecryptUpdate(c.get(), o, &n, bytes(in), static_cast<int>(in.size())) == 1 &&
           EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, expected.data()) == 1 &&
           EVP_DecryptFinal_ex(c.get(), o + n, &n) == 1;
  }

 private:
  struct Free {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
  };
  using Context = std::unique_ptr<EVP_CIPHER_CTX, Free>;
  static const unsigned char* bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }
  const unsigned char* key() const { return bytes(key_); }
  std::string key_;
};

}  // namespace kestrin::test
