// libFuzzer target: a log in the shared folder, any bytes, read from any
// point and merged into a history. It must never read past them, and the
// merge must leave a history that is whole. The cipher is a stand-in whose
// "tag" the fuzzer can find (sixteen zero bytes): what lies behind a real
// tag, the records and the merge, is what is explored here.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "history/history.h"
#include "history/history_file.h"
#include "history/history_sync.h"

using namespace kestrin;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

class OpenAead final : public Aead {
 public:
  bool seal(const Nonce&, std::string_view, char*, std::size_t, Tag& tag) const override {
    tag.fill(0);
    return true;
  }
  bool open(const Nonce&, std::string_view, std::string_view in, const Tag& tag, char* out) const override {
    for (const uint8_t b : tag) {
      if (b) return false;
    }
    std::copy(in.begin(), in.end(), out);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto head = read_sealed_header(bytes, kLogMagic);
  if (!head) return 0;
  check(head->second <= size);
  const OpenAead aead;
  // From the header on, and again from a point inside (a read that goes on).
  const std::size_t from = head->second + (size - head->second) / 2;
  History model(HistoryLimits{20, 1 << 16});
  LogId self{};
  self.fill(0x5A);
  SyncMerge merge(self);
  for (const std::size_t start : {head->second, from}) {
    const SealedRead sealed = read_sealed(bytes.substr(start), start, head->first, aead);
    check(sealed.whole_end >= start && sealed.whole_end <= size);
    const LogRead read = parse_log(sealed);
    std::vector<std::pair<std::string, LogChange>> changes;
    for (const LogChange& change : read.changes) changes.emplace_back(read.machine.value_or(""), change);
    const SyncMerge::Applied applied = merge.apply(model, changes);
    if (applied.newest) check(model.find(*applied.newest) != nullptr || model.entries().size() <= 20);
    // What a history file would get reads back whole.
    const std::string file = encode_sealed_history(aead, head->first, applied.records);
    check(read_history(file, nullptr, &aead).damaged == 0);
  }
  check(model.entries().size() <= 20 + 20);
  return 0;
}
