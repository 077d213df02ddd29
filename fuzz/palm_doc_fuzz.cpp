// libFuzzer target: the Palm DOC record decoder and the database reader on any
// bytes. Neither may read or write outside its buffers; a decoded record stays
// within its limit, and what the compressor makes of it decodes back to it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "palm_doc.h"

using namespace kestrin::palm;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

class Bytes : public RandomSource {
 public:
  explicit Bytes(std::span<const uint8_t> data) : data_(data) {}
  uint64_t size() const override { return data_.size(); }
  bool read_at(uint64_t offset, uint8_t* out, std::size_t size) override {
    if (offset > data_.size() || size > data_.size() - offset) return false;
    if (size != 0) std::memcpy(out, data_.data() + offset, size);
    return true;
  }

 private:
  std::span<const uint8_t> data_;
};

class Counter : public ByteSink {
 public:
  bool write(std::span<const uint8_t> b) override {
    written += b.size();
    return true;
  }
  bool write_at(uint64_t, std::span<const uint8_t>) override { return false; }
  std::size_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The bytes as one record.
  std::vector<uint8_t> decoded;
  if (decompress({data, size}, decoded)) {
    check(decoded.size() <= kRecordSize);
    std::vector<uint8_t> again;
    check(decompress(compress(decoded), again) && again == decoded);
  } else {
    check(decoded.empty());
  }
  // The bytes as a database: every record's text at most doubles in CR LF.
  Bytes database({data, size});
  Counter text;
  const Result result = read_database(database, text);
  check(result == kOk || result == kNotADoc || result == kDamaged);
  check(text.written <= (size / 1 + 1) * 2 * kRecordSize);
  return 0;
}
