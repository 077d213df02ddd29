#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <map>
#include <random>
#include <string>

#include "history/history.h"
#include "history/history_file.h"
#include "history/history_search.h"
#include "history/hotkeys.h"
#include "utf.h"

namespace kestrin {
namespace {

SharedBytes text(std::string s) {
  return share_bytes(std::move(s));
}

std::vector<std::string> shown_texts(const History& h) {
  std::vector<std::string> out;
  for (const HistoryEntry* e : h.shown()) out.emplace_back(*e->data);
  return out;
}

TEST(HistoryModel, OrderDuplicatesPinsAndEviction) {
  History h(HistoryLimits{3, 1 << 20});
  h.add(EntryKind::AnsiText, text("one"), 3, 1);
  h.add(EntryKind::AnsiText, text("two"), 3, 2);
  h.add(EntryKind::UnicodeText, text("три"), 3, 3);
  EXPECT_EQ(shown_texts(h), (std::vector<std::string>{"три", "two", "one"}));

  // An equal text moves up and keeps its id; no second entry.
  const uint64_t one_id = h.shown_at(3)->id;
  auto records = h.add(EntryKind::AnsiText, text("one"), 3, 4);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].op, RecordOp::Touch);
  EXPECT_EQ(h.shown_at(1)->id, one_id);
  EXPECT_EQ(h.shown_at(1)->time, 4u);
  EXPECT_EQ(h.entries().size(), 3u);

  // The same characters held as Unicode (ASCII copied under another keyboard
  // layout) are the same entry.
  h.set_pinned(h.shown_at(3)->id, true);  // "two", the oldest, pinned
  records = h.add(EntryKind::UnicodeText, text("one"), 3, 5);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].op, RecordOp::Touch);
  // Pinned entries do not count against the limit: the fourth unpinned copy
  // makes the oldest unpinned ("три") go.
  h.add(EntryKind::AnsiText, text("four"), 4, 6);
  records = h.add(EntryKind::AnsiText, text("five"), 4, 7);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].op, RecordOp::Remove);
  EXPECT_EQ(shown_texts(h), (std::vector<std::string>{"two", "five", "four", "one"}));
  EXPECT_TRUE(h.shown_at(1)->pinned);

  // However many are pinned, a new copy is kept.
  History pins(HistoryLimits{1, 1 << 20});
  for (int i = 0; i < 3; ++i) {
    pins.add(EntryKind::AnsiText, text(std::to_string(i)), 1, i);
    pins.set_pinned(pins.entries().back().id, true);
  }
  pins.add(EntryKind::AnsiText, text("x"), 1, 9);
  pins.add(EntryKind::AnsiText, text("y"), 1, 10);
  EXPECT_EQ(shown_texts(pins), (std::vector<std::string>{"2", "1", "0", "y"}));

  // Clear keeps the pinned.
  h.clear_unpinned();
  EXPECT_EQ(shown_texts(h), (std::vector<std::string>{"two"}));
}

TEST(HistoryModel, LargeTextKeepsItsFirstLineAndPreviews) {
  History h(HistoryLimits{10, 8});
  h.add(EntryKind::UnicodeText, text("ж\xD0\xB6longer than eight\r\nrest"), 22, 1);
  const HistoryEntry& e = *h.shown_at(1);
  EXPECT_TRUE(e.clipped);
  EXPECT_EQ(*e.data, "жжlonger than eight");
  EXPECT_EQ(e.size, 22u);
  // A second copy of it is the same entry (its size and kept line are); one
  // of another size is not.
  EXPECT_EQ(h.add(EntryKind::UnicodeText, text("ж\xD0\xB6longer than eight\r\nrest"), 22, 2)[0].op, RecordOp::Touch);
  EXPECT_EQ(h.entries().size(), 1u);
  h.add(EntryKind::UnicodeText, text("ж\xD0\xB6longer than eight\r\nrest!"), 23, 3);
  EXPECT_EQ(h.entries().size(), 2u);

  HistoryEntry bitmap{1, EntryKind::Bitmap, text(std::string("\x28\0\0\0\x80\x02\0\0\x20\xFE\xFF\xFF", 12) + std::string(28, '\0')), 0, 0};
  EXPECT_EQ(entry_preview(bitmap, nullptr), "Bitmap 640x480");
  HistoryEntry lines{2, EntryKind::AnsiText, text("\r\n\r\n\tfirst\r\nsecond"), 0, 0};
  EXPECT_EQ(entry_preview(lines, nullptr), " first");
  EXPECT_EQ(age_text(100, 3700), "1 h");
}

TEST(HistoryModel, AnsiAndUnicodeOfTheSameCharactersAreOneEntry) {
  auto latin1 = [](std::string_view s) {
    std::string out;
    for (unsigned char c : s) out += c < 0x80 ? std::string(1, char(c)) : std::string{char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
    return out;
  };
  History h(HistoryLimits{}, latin1);
  h.add(EntryKind::AnsiText, text("caf\xE9"), 4, 1);
  EXPECT_EQ(h.add(EntryKind::UnicodeText, text("café"), 4, 2)[0].op, RecordOp::Touch);
  EXPECT_EQ(h.add(EntryKind::UnicodeText, text("cafè"), 4, 3)[0].op, RecordOp::Add);
  // Without a decoder only ASCII can be compared across kinds.
  History plain;
  plain.add(EntryKind::AnsiText, text("caf\xE9"), 4, 1);
  EXPECT_EQ(plain.add(EntryKind::UnicodeText, text("café"), 4, 2)[0].op, RecordOp::Add);
}

// The replay of a load against applying each record: the same entries in the
// same order, whatever the records.
TEST(HistoryModel, ReplayMatchesRecordByRecordOnRandomLogs) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<HistoryRecord> log;
    History source(HistoryLimits{8, 1 << 20});
    for (int i = 0; i < 60; ++i) {
      std::vector<HistoryRecord> made;
      const uint64_t id = 1 + random() % source.next_id();
      switch (random() % 5) {
        case 0: case 1: made = source.add(EntryKind::AnsiText, text(std::to_string(random() % 12)), 1, i); break;
        case 2: made = source.remove(id); break;
        case 3: made = source.set_pinned(id, random() % 2); break;
        case 4: {  // records about ids that are not there, as a damaged file leaves them
          HistoryRecord r;
          r.op = RecordOp::Touch;
          r.entry.id = id + 100;
          made.push_back(r);
          break;
        }
      }
      for (auto& r : made) log.push_back(std::move(r));
    }
    History one_by_one, replayed;
    for (const auto& r : log) one_by_one.apply(r);
    replayed.replay(log);
    ASSERT_EQ(shown_texts(replayed), shown_texts(one_by_one)) << round;
    ASSERT_EQ(shown_texts(replayed), shown_texts(source)) << round;
  }
  // A record larger than the item limit loads clipped to its first line.
  HistoryRecord big;
  big.entry = {1, EntryKind::AnsiText, text("first line\r\n" + std::string(100, 'x')), 1, 112};
  History small(HistoryLimits{10, 32});
  small.replay({big});
  ASSERT_EQ(small.entries().size(), 1u);
  EXPECT_TRUE(small.entries()[0].clipped);
  EXPECT_EQ(*small.entries()[0].data, "first line");
  EXPECT_EQ(small.entries()[0].size, 112u);
}

TEST(HistoryFile, ReloadsTornAndDamagedFiles) {
  History h;
  std::vector<HistoryRecord> log;
  auto keep = [&](std::vector<HistoryRecord> records) {
    for (auto& r : records) log.push_back(std::move(r));
  };
  keep(h.add(EntryKind::AnsiText, text("alpha"), 5, 10));
  keep(h.add(EntryKind::UnicodeText, text("βήτα"), 4, 11));
  keep(h.add(EntryKind::Bitmap, text(std::string(60, '\x01')), 60, 12));
  keep(h.set_pinned(h.shown_at(3)->id, true));
  keep(h.add(EntryKind::AnsiText, text("alpha"), 5, 13));
  keep(h.remove(h.shown_at(3)->id));
  const std::string file = encode_history(log);

  auto replay = [](std::string_view bytes, HistoryLoad* out = nullptr) {
    History r;
    HistoryLoad load = read_history(bytes);
    for (const auto& record : load.records) r.apply(record);
    if (out) *out = std::move(load);
    return r;
  };
  History back = replay(file);
  ASSERT_EQ(back.entries().size(), h.entries().size());
  for (std::size_t i = 0; i < h.entries().size(); ++i) {
    const HistoryEntry &a = h.entries()[i], &b = back.entries()[i];
    EXPECT_EQ(*a.data, *b.data);
    EXPECT_EQ(std::tie(a.id, a.kind, a.time, a.size, a.pinned), std::tie(b.id, b.kind, b.time, b.size, b.pinned));
  }
  // Compaction holds the same entries in fewer records.
  const std::string compact = encode_history(back.snapshot());
  EXPECT_LT(compact.size(), file.size());
  EXPECT_EQ(shown_texts(replay(compact)), shown_texts(h));

  // Every cut of the file loads the whole records before the cut, and says
  // when something was dropped.
  for (std::size_t cut = 0; cut < file.size(); ++cut) {
    HistoryLoad load;
    replay(file.substr(0, cut), &load);
    std::size_t whole = 0, at = history_file_header().size();
    for (const auto& r : log) {
      at += record_size(r);
      if (at <= cut) ++whole;
    }
    ASSERT_EQ(load.records.size(), whole) << cut;
    const bool on_boundary = cut == 0 || encode_history(load.records).size() == cut;
    EXPECT_EQ(load.damaged > 0 || load.foreign, !on_boundary) << cut;
  }

  // A flipped byte in the middle costs that record only.
  std::string flipped = file;
  flipped[history_file_header().size() + record_head_size() + 2] ^= 0x20;  // in "alpha"
  HistoryLoad load;
  History damaged = replay(flipped, &load);
  EXPECT_EQ(load.damaged, 1u);
  EXPECT_EQ(load.records.size(), log.size() - 1);
  // Later records about it find nothing to change.
  EXPECT_EQ(shown_texts(damaged), (std::vector<std::string>{std::string(60, '\x01')}));

  EXPECT_TRUE(read_history("not a history file").foreign);

  // Read with an owner, the entries view the file's bytes, and keep them alive.
  auto buffer = std::make_shared<std::string>(file);
  const HistoryLoad viewed = read_history(*buffer, buffer);
  std::weak_ptr<std::string> gone = buffer;
  buffer.reset();
  ASSERT_FALSE(gone.expired());
  History owned;
  for (const auto& record : viewed.records) owned.apply(record);
  EXPECT_EQ(shown_texts(owned), shown_texts(h));
  owned.own_data();  // copies of their own: what they viewed can go
  std::vector<std::string> before_release = shown_texts(owned);
  const_cast<HistoryLoad&>(viewed).records.clear();
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(shown_texts(owned), before_release);
}

// One damaged place never costs a whole record beside it: after a corrupt
// byte anywhere (a length, a marker, a checksum, the data), every record not
// touched loads, and the loader says how much it skipped. In both versions.
TEST(HistoryFile, DamageCostsOnlyTheRecordItHits) {
  std::vector<HistoryRecord> log;
  History h;
  for (int i = 0; i < 20; ++i) {
    for (auto& r : h.add(i % 3 ? EntryKind::AnsiText : EntryKind::UnicodeText, text("entry " + std::to_string(i) + std::string(i, 'x')), 7 + i, i)) {
      log.push_back(std::move(r));
    }
  }
  for (uint32_t version : {1u, 2u, 3u}) {
    const std::string file = encode_history(log, {}, version);
    std::vector<std::size_t> starts;  // where each record starts, and the end
    std::size_t at = history_file_header(version).size();
    for (const auto& r : log) {
      starts.push_back(at);
      at += record_size(r, version);
    }
    starts.push_back(at);
    ASSERT_EQ(at, file.size());
    for (std::size_t p = starts[0]; p < file.size(); ++p) {
      for (unsigned char flip : {0x01, 0x80, 0xFF}) {
        std::string damaged = file;
        damaged[p] = static_cast<char>(damaged[p] ^ flip);
        const HistoryLoad load = read_history(damaged);
        std::size_t hit = 0;
        while (starts[hit + 1] <= p) ++hit;
        ASSERT_EQ(load.records.size(), log.size() - 1) << "version " << version << " byte " << p;
        for (std::size_t i = 0, j = 0; i < log.size(); ++i) {
          if (i == hit) continue;
          ASSERT_EQ(load.records[j++].entry.id, log[i].entry.id) << version << " " << p;
        }
        EXPECT_EQ(load.damaged, 1u) << version << " " << p;
        EXPECT_EQ(load.damaged_bytes, starts[hit + 1] - starts[hit]) << version << " " << p;
      }
    }
  }
}

// A record of a newer version (an op or kind this one does not know) is kept
// byte for byte through a compaction; a file of a newer version is not read.
TEST(HistoryFile, KeepsWhatANewerVersionWrote) {
  History h;
  std::vector<HistoryRecord> log = h.add(EntryKind::AnsiText, text("old"), 3, 1);
  std::string unknown_op(kFixedPayload + 5, '\x07');
  unknown_op[0] = 9;
  std::string unknown_kind(kFixedPayload, '\0');
  unknown_kind[0] = 1;   // Add
  unknown_kind[17] = 7;  // of a kind to come
  const std::string file = encode_history(log, {unknown_op, unknown_kind});
  const HistoryLoad load = read_history(file);
  EXPECT_EQ(load.damaged, 0u);
  ASSERT_EQ(load.records.size(), 1u);
  ASSERT_EQ(load.kept, (std::vector<std::string>{unknown_op, unknown_kind}));
  History back;
  back.replay(load.records);
  EXPECT_EQ(encode_history(back.snapshot(), load.kept), file);

  std::string newer = file;
  newer[8] = static_cast<char>(kSealedVersion + 1);
  EXPECT_TRUE(read_history(newer).newer);
  EXPECT_TRUE(read_history(newer).records.empty());
  // A torn end: appends go after the last whole record.
  const HistoryLoad torn = read_history(file.substr(0, file.size() - 3));
  EXPECT_EQ(torn.whole_end, file.size() - record_head_size());  // the last record is a bare fixed payload
}

// The fold against an independent table: the C library's towlower under a
// UTF-8 locale, over every range the fold knows. The differences are the
// fold's on purpose: case folding, not lower-casing, for the micro sign and
// final sigma, and a dotted capital I that folds to no ASCII letter.
TEST(HistorySearch, FoldAgreesWithTheCLibraryLowerCase) {
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  const std::map<char32_t, char32_t> on_purpose = {{0xB5, 0x3BC}, {0x130, 0x130}, {0x3C2, 0x3C3}};
  for (char32_t c = 0; c < 0x530; ++c) {
    if (c >= 0x180 && c < 0x370) continue;  // not folded at all
    const auto known = on_purpose.find(c);
    const char32_t expected = known != on_purpose.end() ? known->second : static_cast<char32_t>(std::towlower(static_cast<wint_t>(c)));
    EXPECT_EQ(static_cast<uint32_t>(fold_case(c)), static_cast<uint32_t>(expected)) << std::hex << static_cast<uint32_t>(c);
  }
  std::setlocale(LC_CTYPE, "C");
}

// The fast search against folding both sides and finding plainly.
std::string fold_all(std::string_view s) {
  std::u16string wide = utf8_to_utf16(s);
  std::u32string cps;
  for (std::size_t i = 0; i < wide.size(); ++i) cps.push_back(wide[i]);
  std::string out;
  for (char32_t c : cps) {
    std::u16string one(1, static_cast<char16_t>(fold_case(c)));
    out += utf16_to_utf8(one);
  }
  return out;
}

TEST(HistorySearch, MatchesPlainFoldedFindOnRandomText) {
  const std::vector<std::string> alphabet = {"a", "A", "b", "B", "é", "É", "ж", "Ж", "σ", "Σ", "ς",
                                             "İ", "i", "I", " ", "\xEF\xBC\xA1", "k", "\xE2\x84\xAA"};
  std::mt19937 random(7);
  auto pick = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  const AnsiFold fold = ascii_fold();
  for (int round = 0; round < 3000; ++round) {
    const std::string hay = pick(random() % 40);
    const std::string needle = pick(1 + random() % 3);
    TextSearch search(needle, std::nullopt, fold);
    const bool expected = fold_all(hay).find(fold_all(needle)) != std::string::npos;
    ASSERT_EQ(search.find_in(hay, true), expected) << hay << " / " << needle;
  }
  // Long texts take the sixteen-at-a-time path; a match at every place.
  std::string long_text(100, 'x');
  for (std::size_t at = 0; at + 3 <= long_text.size(); ++at) {
    std::string t = long_text;
    t.replace(at, 3, "ЖaБ");
    EXPECT_TRUE(TextSearch("жAб", std::nullopt, fold).find_in(t, true)) << at;
    EXPECT_FALSE(TextSearch("жAв", std::nullopt, fold).find_in(t, true)) << at;
  }
}

TEST(HistorySearch, AnsiTextThroughTheCodePageFold) {
  AnsiFold fold = ascii_fold();
  fold[0xC9] = 0xE9;  // É to é, as cp1252 folds
  const std::string ansi_text = "Caf\xC9 au lait";
  EXPECT_TRUE(TextSearch("café", std::string("caf\xE9"), fold).find_in(ansi_text, false));
  EXPECT_TRUE(TextSearch("AU L", std::string("AU L"), fold).find_in(ansi_text, false));
  // A query with no ANSI form finds no ANSI text.
  EXPECT_FALSE(TextSearch("кафе", std::nullopt, fold).find_in(ansi_text, false));
  // Bitmaps by their preview.
  HistoryEntry bitmap{1, EntryKind::Bitmap, text(std::string("\x0C\0\0\0\x10\0\x20\0", 8) + std::string(8, '\0')), 0, 0};
  EXPECT_TRUE(TextSearch("bitmap 16", std::string("bitmap 16"), fold).matches(bitmap));
}

TEST(Hotkeys, ParsesChordsAndActionsAndSaysWhyNot) {
  const auto history = parse_hotkey(" Ctrl+Shift+V = History");
  ASSERT_TRUE(history);
  EXPECT_EQ(history->modifiers, kModControl | kModShift);
  EXPECT_EQ(history->key, unsigned('V'));
  EXPECT_EQ(history->action, HotkeyAction::History);
  EXPECT_EQ(history->chord, "Ctrl+Shift+V");
  const auto paste = parse_hotkey("alt+win+F11=PasteHistory12");
  ASSERT_TRUE(paste);
  EXPECT_EQ(paste->modifiers, kModAlt | kModWin);
  EXPECT_EQ(paste->key, 0x7Au);
  EXPECT_EQ(paste->value, 12u);
  EXPECT_EQ(chord_text(paste->modifiers, paste->key), "Alt+Win+F11");
  const auto command = parse_hotkey("Ctrl+Alt+PageDown=40011");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->action, HotkeyAction::Command);
  EXPECT_EQ(command->value, 40011u);
  EXPECT_EQ(chord_text(command->modifiers, command->key), "Ctrl+Alt+PageDown");

  for (const char* bad : {"V=History", "Ctrl+Shift=History", "Ctrl+V+Shift=History", "Ctrl+Q=Nothing",
                          "Ctrl+Q=PasteHistory0", "Ctrl+Q=70000", "Ctrl+Shift+Ü=History", "Ctrl+Q",
                          "Ctrl+F12=History"}) {
    std::string why;
    EXPECT_FALSE(parse_hotkey(bad, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  // No section: Ctrl+Shift+V opens the history. A section: its lines alone,
  // comments and blank lines skipped, the bad ones told.
  EXPECT_EQ(parse_hotkeys({}, false).size(), 1u);
  std::vector<std::string> errors;
  const auto keys = parse_hotkeys({"; mine", "", "Ctrl+1=PasteHistory1", "Ctrl+=x"}, true, &errors);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].line, "Ctrl+1=PasteHistory1");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Ctrl+=x: ", 0), 0u);

  // A chord twice is the second line's fault, not another program's; a command
  // no menu has is refused at start.
  errors.clear();
  const auto known = [](unsigned id) { return id == 40011; };
  const auto checked = parse_hotkeys({"Ctrl+Alt+U=40011", "ctrl+alt+u=History", "Ctrl+Alt+X=12345"}, true, &errors, known);
  ASSERT_EQ(checked.size(), 1u);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("holds that chord already"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("12345"), std::string::npos) << errors[1];
  // A thousand bad lines: the first few named, then the count.
  const std::vector<std::string> many(1000, "bad line");
  const std::string said = refused_lines_text(many);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 6);
  EXPECT_NE(said.find("and 995 more lines."), std::string::npos);
}

}  // namespace
}  // namespace kestrin
