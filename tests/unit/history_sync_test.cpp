#include <gtest/gtest.h>

#include <random>
#include <string>

#include "history/history.h"
#include "history/history_file.h"
#include "history/history_sync.h"
#include "openssl_aead.h"

namespace kestrin {
namespace {

using test::OpensslAead;

// A machine: its history, its merge, its log in the folder as sealed bytes,
// and how far it has read each other log.
struct Machine {
  Machine(uint8_t n, std::string name) : merge(id_of(n)), name(std::move(name)) {
    header.file_id = id_of(n);
    log = sealed_file_header(header, kLogMagic);
    append_payload(name_payload(this->name));
  }
  static LogId id_of(uint8_t n) {
    LogId id{};
    id.fill(n);
    return id;
  }
  void append_payload(const std::string& payload) { log += seal_payload(aead, header, log.size(), payload); }
  // A change made here: the history takes it, the log gets what travels.
  void local(std::vector<HistoryRecord> records, SyncSend send = SyncSend::All) {
    if (send == SyncSend::First) records.resize(std::min<std::size_t>(records.size(), 1));
    if (send == SyncSend::None) return;
    for (const LogChange& change : merge.outgoing(records)) append_payload(change_payload(change));
  }
  void copy(const std::string& text, uint64_t time = 100) {
    local(model.add(EntryKind::AnsiText, share_bytes(text), text.size(), time), SyncSend::First);
  }
  // Reads these logs (each from where it stopped) in one scan.
  SyncMerge::Applied read(const std::vector<const std::string*>& logs) {
    std::vector<std::pair<std::string, LogChange>> changes;
    for (const std::string* file : logs) {
      const auto head = read_sealed_header(*file, kLogMagic);
      if (!head) continue;
      const std::string key = log_id_hex(head->first.file_id) + std::to_string(reinterpret_cast<uintptr_t>(file));
      uint64_t& from = positions[key];
      if (from < head->second || from > file->size()) from = head->second;
      const SealedRead sealed = read_sealed(std::string_view(*file).substr(from), from, head->first, aead);
      from = sealed.whole_end;
      const LogRead read = parse_log(sealed);
      for (const LogChange& change : read.changes) changes.emplace_back(read.machine.value_or("?"), change);
    }
    return merge.apply(model, changes);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const HistoryEntry* e : model.shown()) out.emplace_back(*e->data);
    return out;
  }
  const HistoryEntry& entry(const std::string& text) const {
    for (const HistoryEntry& e : model.entries()) {
      if (*e.data == text) return e;
    }
    throw std::runtime_error("no entry " + text);
  }

  static inline const OpensslAead aead{"the key both machines derived"};
  History model{HistoryLimits{100, 1 << 20}};
  SyncMerge merge;
  std::string name;
  SealedHeader header;
  std::string log;
  std::map<std::string, uint64_t> positions;
};

using Texts = std::vector<std::string>;

TEST(HistorySync, CopiesRemovalsAndPinsTravelOnceWhateverTheOrder) {
  Machine a(1, "Desk"), b(2, "Ноутбук"), c(3, "Tablet");
  a.copy("one");
  a.copy("two");
  a.copy("three", 100 + 86400);  // its clock a day ahead
  b.read({&a.log});
  EXPECT_EQ(b.texts(), (Texts{"three", "two", "one"}));
  ASSERT_TRUE(b.entry("one").origin);
  EXPECT_EQ(b.entry("one").origin->machine, "Desk");
  EXPECT_EQ(b.entry("three").time, 100u + 86400);

  // Read twice, and a copy of the log the engine made: nothing twice.
  const std::string conflict_copy = a.log;
  EXPECT_TRUE(b.read({&a.log}).records.empty());
  EXPECT_TRUE(b.read({&conflict_copy}).records.empty());
  EXPECT_EQ(b.texts(), (Texts{"three", "two", "one"}));

  // B removes one of A's entries and pins another: both travel back to A.
  b.local(b.model.remove(b.entry("one").id));
  b.local(b.model.set_pinned(b.entry("two").id, true));
  a.read({&b.log});
  EXPECT_EQ(a.texts(), (Texts{"two", "three"}));
  EXPECT_TRUE(a.entry("two").pinned);

  // C learns of the removal before the copy itself: read in either order,
  // the entry removed anywhere does not come back.
  c.read({&b.log, &a.log});
  EXPECT_EQ(c.texts(), (Texts{"two", "three"}));
  EXPECT_TRUE(c.entry("two").pinned);

  // A's own copy that B already holds as a copy of its own text is one entry.
  b.copy("four");
  a.copy("four");
  b.read({&a.log});
  EXPECT_EQ(b.texts(), (Texts{"two", "four", "three"}));
  // Changes B makes to the merged entry travel as B's own entry's.
  EXPECT_FALSE(b.entry("four").origin);
}

// A log replaced by its owner (written anew, a new file id), and a history
// read again after a restart (its entries know where they came from): still
// nothing twice, nothing removed back.
TEST(HistorySync, ARestartAndAReplacedLogGiveNoDuplicates) {
  Machine a(1, "Desk"), b(2, "Laptop");
  for (const char* text : {"x", "y", "z"}) a.copy(text);
  b.read({&a.log});
  b.local(b.model.remove(b.entry("y").id));

  Machine restarted(2, "Laptop");
  restarted.model.replay(b.model.snapshot());
  restarted.merge.know(restarted.model);
  // What B's own log says it removed is remembered from it.
  const auto head = read_sealed_header(b.log, kLogMagic);
  restarted.merge.remember_own(
      parse_log(read_sealed(std::string_view(b.log).substr(head->second), head->second, head->first, Machine::aead))
          .changes);
  EXPECT_TRUE(restarted.read({&a.log}).records.empty());  // A has not read B's removal yet
  EXPECT_EQ(restarted.texts(), (Texts{"z", "x"}));

  Machine compacted(1, "Desk");
  compacted.header.file_id[0] = 0xAA;  // A's log written anew
  compacted.log = sealed_file_header(compacted.header, kLogMagic);
  for (const HistoryRecord& record : a.model.snapshot()) {
    compacted.append_payload(change_payload({a.merge.self(), record}));
  }
  EXPECT_TRUE(restarted.read({&compacted.log}).records.empty());
  EXPECT_EQ(restarted.texts(), (Texts{"z", "x"}));
}

// A log cut short by a transfer is read up to its last whole record, and on
// from there when it grows; damage in its middle costs the records it hits.
TEST(HistorySync, ALogCutShortIsReadOnWhenItGrows) {
  Machine a(1, "Desk"), b(2, "Laptop");
  a.copy("first");
  a.copy("second");
  const std::string whole = a.log;
  std::string cut = whole.substr(0, whole.size() - 7);
  b.read({&cut});
  EXPECT_EQ(b.texts(), (Texts{"first"}));
  cut = whole;
  b.read({&cut});
  EXPECT_EQ(b.texts(), (Texts{"second", "first"}));

  const auto head = read_sealed_header(whole, kLogMagic);
  std::string damaged = whole;
  damaged[head->second + 20] ^= 1;  // in the name record
  const SealedRead read = read_sealed(std::string_view(damaged).substr(head->second), head->second, head->first,
                                      Machine::aead);
  EXPECT_EQ(read.damaged, 1u);
  EXPECT_EQ(parse_log(read).changes.size(), 2u);
}

TEST(HistorySync, TheShareFileRefusesWhatWouldWeakenTheKey) {
  ShareFile share;
  share.salt.fill(7);
  share.check.fill(9);
  const std::string bytes = encode_share_file(share);
  ASSERT_TRUE(read_share_file(bytes));
  EXPECT_EQ(read_share_file(bytes)->check, share.check);
  share.rounds = 1000;
  EXPECT_FALSE(read_share_file(encode_share_file(share)));
  EXPECT_FALSE(read_share_file(bytes.substr(1)));
  EXPECT_EQ(log_id_from_hex(log_id_hex(Machine::id_of(0xC3))), Machine::id_of(0xC3));
  EXPECT_FALSE(log_id_from_hex("not an id"));
}

}  // namespace
}  // namespace kestrin

namespace kestrin {
namespace {

// The history finds a copy's equal through its index of keys: against a plain
// look through every entry (oldest first), over random copies, removals,
// pins, clears, limits and reloads, a copy always touches the entry a look
// would find, or is added when there is none.
TEST(HistoryIndex, AnEqualCopyIsFoundAsALookThroughEveryEntryFindsIt) {
  std::mt19937 random(5);
  History h(HistoryLimits{12, 1 << 20});
  const std::vector<std::string> texts = {"a", "b", "same start same start same start same start 1",
                                          "same start same start same start same start 2", "жизнь", "c", "d"};
  for (int step = 0; step < 4000; ++step) {
    const unsigned what = random() % 20;
    if (what < 12) {
      const std::string& text = texts[random() % texts.size()];
      const HistoryEntry* expected = nullptr;
      for (const HistoryEntry& e : h.entries()) {
        if (*e.data == text) {
          expected = &e;
          break;
        }
      }
      const uint64_t expected_id = expected ? expected->id : 0;
      const std::vector<HistoryRecord> records = h.add(EntryKind::UnicodeText, share_bytes(text), text.size(), step);
      ASSERT_FALSE(records.empty());
      ASSERT_EQ(records[0].op, expected ? RecordOp::Touch : RecordOp::Add) << step;
      ASSERT_EQ(records[0].op == RecordOp::Touch ? records[0].entry.id : 0u, expected_id) << step;
    } else if (what < 15 && !h.entries().empty()) {
      h.remove(h.entries()[random() % h.entries().size()].id);
    } else if (what < 17 && !h.entries().empty()) {
      const HistoryEntry& e = h.entries()[random() % h.entries().size()];
      h.set_pinned(e.id, !e.pinned);
    } else if (what == 17) {
      h.clear_unpinned();
    } else if (what == 18) {
      h.set_limits(HistoryLimits{1 + random() % 12, 1 << 20});
      h.enforce_limit();
    } else {
      History reloaded(h.limits());
      reloaded.replay(h.snapshot());
      h = std::move(reloaded);
    }
  }
}

}  // namespace
}  // namespace kestrin
