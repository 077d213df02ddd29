#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>

#include "history/history.h"
#include "history/history_file.h"
#include "openssl_aead.h"

namespace kestrin {
namespace {

using test::OpensslAead;

SealedHeader header_with(uint8_t id, uint32_t generation = 1) {
  SealedHeader header;
  header.generation = generation;
  header.file_id.fill(id);
  header.wrapped_key = "wrapped key " + std::to_string(id);
  return header;
}

// A log of copies of every kind, with formats, a pin, a removal.
std::vector<HistoryRecord> sample_log(int copies) {
  History h(HistoryLimits{1000, 1 << 20});
  std::vector<HistoryRecord> log;
  auto keep = [&](std::vector<HistoryRecord> records) {
    for (auto& r : records) log.push_back(std::move(r));
  };
  for (int i = 0; i < copies; ++i) {
    std::string text = "secret " + std::to_string(i) + std::string(static_cast<std::size_t>(i), 'x');
    std::vector<KeptFormat> formats;
    if (i % 4 == 1) {
      formats.push_back({1, "", FormatRole::Main, nullptr});
      formats.push_back({49300, "HTML Format", FormatRole::Data, share_bytes("<b>" + text + "</b>")});
    }
    std::optional<EntryOrigin> origin;  // received from another machine
    if (i % 5 == 4) origin = EntryOrigin{{9, 9, 9}, static_cast<uint64_t>(i), "Ноутбук"};
    keep(h.add(i % 3 ? EntryKind::AnsiText : EntryKind::UnicodeText, share_bytes(text), text.size(),
               static_cast<uint64_t>(1000 + i), std::move(formats), std::move(origin)));
  }
  keep(h.set_pinned(h.shown_at(2)->id, true));
  keep(h.remove(h.shown_at(3)->id));
  return log;
}

std::vector<std::size_t> record_starts(const std::vector<HistoryRecord>& log, const SealedHeader& header) {
  std::vector<std::size_t> starts;
  std::size_t at = sealed_file_header(header).size();
  for (const auto& r : log) {
    starts.push_back(at);
    at += record_size(r, kSealedVersion);
  }
  starts.push_back(at);
  return starts;
}

// Sealed, a log reads back record for record, and its file holds none of the
// texts. A flipped bit anywhere in a record fails that record's tag alone;
// one in the file id fails them all (nothing is read as another file's).
TEST(SealedHistory, RoundTripsAndADamagedRecordCostsItAlone) {
  const OpensslAead aead("the file's key");
  const SealedHeader header = header_with(7);
  const std::vector<HistoryRecord> log = sample_log(12);
  const std::string file = encode_sealed_history(aead, header, log, {std::string(kFixedPayload, '\x09')});
  for (const char* text : {"secret 1", "HTML", "xxxx"}) EXPECT_EQ(file.find(text), std::string::npos) << text;

  const HistoryLoad load = read_history(file, nullptr, &aead);
  EXPECT_EQ(load.version, kSealedVersion);
  EXPECT_EQ(load.damaged, 0u);
  EXPECT_EQ(load.kept.size(), 1u);
  EXPECT_EQ(load.whole_end, file.size());
  // Sealed again at the same places, the records give the same bytes.
  EXPECT_EQ(encode_sealed_history(aead, header, load.records, load.kept), file);
  ASSERT_TRUE(load.records[4].entry.origin);
  EXPECT_EQ(load.records[4].entry.origin->machine, "Ноутбук");
  EXPECT_TRUE(read_history(file).sealed);  // no key: nothing read

  const std::vector<std::size_t> starts = record_starts(log, header);
  std::mt19937 random(11);
  for (std::size_t p = starts[0]; p < starts[log.size()]; ++p) {
    std::string damaged = file;
    damaged[p] = static_cast<char>(damaged[p] ^ (1 << (random() % 8)));
    const HistoryLoad back = read_history(damaged, nullptr, &aead);
    std::size_t hit = 0;
    while (starts[hit + 1] <= p) ++hit;
    ASSERT_EQ(back.records.size(), log.size() - 1) << p;
    for (std::size_t i = 0, j = 0; i < log.size(); ++i) {
      if (i == hit) continue;
      ASSERT_EQ(back.records[j++].entry.id, log[i].entry.id) << p;
    }
    EXPECT_EQ(back.damaged_bytes, starts[hit + 1] - starts[hit]) << p;
  }
  std::string other_file = file;
  other_file[kGenerationAt + 4] ^= 1;
  EXPECT_TRUE(read_history(other_file, nullptr, &aead).records.empty());
  const OpensslAead other_key("another key");
  EXPECT_TRUE(read_history(file, nullptr, &other_key).records.empty());
}

// Records cannot be moved: not swapped within a file, not pasted into
// another file under the same key at the very same place.
TEST(SealedHistory, RecordsDoNotMoveBetweenPlacesOrFiles) {
  const OpensslAead aead("one key for both");
  const std::vector<HistoryRecord> log = sample_log(6);
  const SealedHeader a = header_with(1), b = header_with(2);
  const std::string file_a = encode_sealed_history(aead, a, log), file_b = encode_sealed_history(aead, b, log);
  const std::vector<std::size_t> starts = record_starts(log, a);
  // Two records of the same size (the pin and the removal at the end) swapped.
  const std::size_t x = log.size() - 2, y = log.size() - 1;
  ASSERT_EQ(starts[x + 1] - starts[x], starts[y + 1] - starts[y]);
  std::string swapped = file_a;
  swapped.replace(starts[x], starts[y + 1] - starts[x],
                  file_a.substr(starts[y], starts[y + 1] - starts[y]) + file_a.substr(starts[x], starts[y] - starts[x]));
  const HistoryLoad load = read_history(swapped, nullptr, &aead);
  EXPECT_EQ(load.records.size(), log.size() - 2);
  EXPECT_EQ(load.damaged_bytes, starts[y + 1] - starts[x]);
  // Record 2 of file B put in the place of file A's record 2.
  std::string pasted = file_a;
  pasted.replace(starts[2], starts[3] - starts[2], file_b.substr(starts[2], starts[3] - starts[2]));
  EXPECT_EQ(read_history(pasted, nullptr, &aead).records.size(), log.size() - 1);
}

// A cipher that only records its nonces (and "authenticates" with them), for
// a million records.
class NonceRecorder final : public Aead {
 public:
  bool seal(const Nonce& nonce, std::string_view, char*, std::size_t, Tag& tag) const override {
    const std::string n(nonce.begin(), nonce.end());
    duplicates_ += !seen_.insert(n).second;
    std::copy(nonce.begin(), nonce.end(), tag.begin());
    return true;
  }
  bool open(const Nonce& nonce, std::string_view, std::string_view in, const Tag& tag, char* out) const override {
    std::copy(in.begin(), in.end(), out);
    return std::equal(nonce.begin(), nonce.end(), tag.begin());
  }
  std::size_t sealed() const { return seen_.size() + duplicates_; }
  std::size_t duplicates() const { return duplicates_; }

 private:
  mutable std::unordered_set<std::string> seen_;
  mutable std::size_t duplicates_ = 0;
};

// The writer's way: a run appends at the file's end in the generation it
// raised when it started; a reload (a torn end cut first) starts the next.
TEST(SealedHistory, NoNonceIsUsedTwiceAcrossAMillionRecordsAndReloads) {
  NonceRecorder aead;
  std::string file = sealed_file_header(header_with(3));
  std::size_t written = 0;
  uint64_t id = 1;
  for (int run = 0; run < 4; ++run) {
    auto header = read_sealed_header(file);
    ASSERT_TRUE(header);
    const HistoryLoad load = read_history(file, nullptr, &aead);
    ASSERT_EQ(load.records.size(), written);
    file.resize(load.whole_end);  // a torn end is cut
    header->first.generation += 1;
    file.replace(kGenerationAt, 4, sealed_file_header(header->first).substr(kGenerationAt, 4));
    for (int i = 0; i < 250'000; ++i) {
      HistoryRecord record{RecordOp::Touch, {}};
      record.entry.id = id++;
      file += seal_record(aead, header->first, file.size(), record);
      ++written;
    }
    // The last one torn: written again in the next run at the same place.
    file.resize(file.size() - 5);
    --written;
  }
  EXPECT_EQ(aead.sealed(), 1'000'000u);
  EXPECT_EQ(aead.duplicates(), 0u);
}

}  // namespace
}  // namespace kestrin
