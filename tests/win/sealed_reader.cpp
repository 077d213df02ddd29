#include "sealed_reader.h"

#include "history/crypto_win.h"

namespace kestrin::test {

HistoryLoad read_history_file(const std::string& bytes) {
  const auto header = read_sealed_header(bytes);
  if (!header) return read_history(bytes);
  const std::optional<SecretKey> key = unwrap_key_for_user(header->first.wrapped_key);
  if (!key) return read_history(bytes);  // sealed: nothing read
  const CngAead aead(*key);
  return read_history(bytes, nullptr, &aead);
}

std::string sealed_history_file(const std::vector<HistoryRecord>& records, const std::vector<HistoryRecord>& torn,
                                std::size_t torn_bytes) {
  SecretKey key;
  random_bytes(key.bytes.data(), key.bytes.size());
  SealedHeader header;
  random_bytes(header.file_id.data(), header.file_id.size());
  header.wrapped_key = wrap_for_user(key.view()).value_or("");
  const CngAead aead(key);
  std::string file = encode_sealed_history(aead, header, records);
  std::string tail;
  for (const HistoryRecord& record : torn) tail += seal_record(aead, header, file.size() + tail.size(), record);
  return file + tail.substr(0, torn_bytes);
}

std::string history_file_key_hex(const std::string& bytes) {
  const auto header = read_sealed_header(bytes);
  const std::optional<SecretKey> key = header ? unwrap_key_for_user(header->first.wrapped_key) : std::nullopt;
  std::string hex;
  if (!key) return hex;
  for (const uint8_t b : key->bytes) {
    hex += "0123456789abcdef"[b >> 4];
    hex += "0123456789abcdef"[b & 15];
  }
  return hex;
}

}  // namespace kestrin::test
