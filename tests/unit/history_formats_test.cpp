// The formats an entry keeps: their table in the history file, which formats
// of a copy are kept, file lists, the wildcard rules and what the model does
// with entries of several formats.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "history/formats.h"
#include "history/history.h"
#include "history/history_file.h"
#include "history/ignore_rules.h"

namespace kestrin {
namespace {

SharedBytes bytes(std::string s) { return share_bytes(std::move(s)); }

KeptFormat data_format(uint32_t number, std::string name, std::string content) {
  return {number, std::move(name), FormatRole::Data, bytes(std::move(content))};
}

// What a format is, compared by value.
std::string describe(const std::vector<KeptFormat>& formats) {
  std::string out;
  for (const KeptFormat& f : formats) {
    out += format_label(f) + "/" + std::to_string(static_cast<int>(f.role)) + "/" +
           (f.data ? std::string(*f.data) : std::string("-")) + ";";
  }
  return out;
}

TEST(HistoryFormats, TheFormatTableRoundTripsWhateverItHolds) {
  std::mt19937 random(7);
  History h(HistoryLimits{1000, uint64_t{1} << 30});
  std::vector<HistoryRecord> log;
  // A name as long as the system allows (255 characters, 510 bytes of UTF-8).
  std::string long_name;
  for (int i = 0; i < 255; ++i) long_name += "\xD0\xAF";
  std::vector<KeptFormat> many;
  for (uint32_t i = 0; i < 100; ++i) {
    many.push_back(data_format(0xC000 + i, "Format " + std::to_string(i), std::string(i * 37 % 500, char('a' + i % 26))));
  }
  many.insert(many.begin() + 3, KeptFormat{cf::kUnicodeText, {}, FormatRole::Main, nullptr});
  many.push_back({0xC100, "Never handed over", FormatRole::Late, nullptr});
  many.push_back({0xC101, "Too big", FormatRole::OverLimit, nullptr});
  many.push_back(data_format(cf::kHDrop, {}, std::string("\0\0", 2)));
  many.push_back(data_format(0xC102, long_name, std::string(1, '\0')));
  many.push_back(data_format(0xC103, "empty", ""));
  for (auto& r : h.add(EntryKind::UnicodeText, bytes("text of many formats"), 20, 1, many)) log.push_back(r);
  for (auto& r : h.add(EntryKind::Files, bytes("C:\\a.txt"), 8, 2, {data_format(cf::kHDrop, {}, "drop")})) log.push_back(r);
  for (auto& r : h.add(EntryKind::Data, bytes(""), 0, 3, {data_format(0xC000, "Custom", "\x01\x02")})) log.push_back(r);
  for (auto& r : h.set_pinned(1, true)) log.push_back(r);
  ASSERT_EQ(log.size(), 4u);

  const std::string file = encode_history(log);
  for (const bool viewed : {false, true}) {
    auto owner = std::make_shared<std::string>(file);
    const HistoryLoad load = viewed ? read_history(*owner, owner) : read_history(file);
    EXPECT_EQ(load.damaged, 0u);
    ASSERT_EQ(load.records.size(), log.size());
    for (std::size_t i = 0; i < log.size(); ++i) {
      EXPECT_EQ(load.records[i].entry.kind, log[i].entry.kind) << i;
      EXPECT_EQ(describe(load.records[i].entry.formats), describe(log[i].entry.formats)) << i;
      EXPECT_EQ(record_size(load.records[i]), record_size(log[i])) << i;
    }
    EXPECT_EQ(encode_history(load.records), file);
  }
  // An older file has no room for formats: the entry's text alone.
  const HistoryLoad old = read_history(encode_history(log, {}, 2));
  ASSERT_EQ(old.records.size(), log.size());
  EXPECT_TRUE(old.records[0].entry.formats.empty());
  EXPECT_EQ(*old.records[0].entry.data, "text of many formats");
}

TEST(HistoryFormats, ATableThatLiesAboutItsBytesIsDroppedAlone) {
  History h;
  std::vector<HistoryRecord> log = h.add(EntryKind::AnsiText, bytes("before"), 6, 1);
  const auto formatted = h.add(EntryKind::AnsiText, bytes("formatted"), 9, 2, {data_format(0xC000, "HTML Format", "<b>x</b>")});
  const auto after = h.add(EntryKind::AnsiText, bytes("after"), 5, 3);
  std::string payload = encode_history(formatted).substr(history_file_header().size() + record_head_size() - kFixedPayload);
  // Every field of the table bent in turn, the record framed (and checked) again.
  const std::size_t table = kFixedPayload;
  const std::vector<std::pair<std::size_t, std::string>> lies = {
      {table, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 8)},  // the data's length
      {table + 8, std::string("\xFF\xFF", 2)},                      // the number of formats
      {table + 10 + 5, std::string("\xFF\xFF", 2)},                 // a name's length
      {table + 10 + 7 + 11, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8)},  // its bytes' length
      {table + 10 + 4, std::string("\x09", 1)},                     // a role to come
      {table + 10 + 4, std::string("\x02", 1)},                     // late, yet with bytes
  };
  for (const auto& [at, bent] : lies) {
    std::string lie = payload;
    lie.replace(at, bent.size(), bent);
    const std::string file = encode_history(log) + frame_payload(lie) + encode_history(after).substr(history_file_header().size());
    const HistoryLoad load = read_history(file);
    EXPECT_EQ(load.damaged, 1u) << at;
    ASSERT_EQ(load.records.size(), 2u) << at;
    EXPECT_EQ(*load.records[1].entry.data, "after");
  }
  // Cut short anywhere, the payload never reads past itself.
  for (std::size_t cut = kFixedPayload; cut < payload.size(); ++cut) {
    const HistoryLoad load = read_history(encode_history(log) + frame_payload(payload.substr(0, cut)));
    EXPECT_EQ(load.records.size(), 1u) << cut;
  }
}

TEST(HistoryFormats, WhatIsKeptOfACopy) {
  const FormatFilter all;
  auto labels = [](const std::vector<KeptFormat>& plan) {
    std::vector<std::string> out;
    for (const KeptFormat& f : plan) out.push_back(format_label(f) + (f.role == FormatRole::Main ? "*" : ""));
    return out;
  };
  using Labels = std::vector<std::string>;
  // A browser's copy: the system made CF_TEXT, CF_OEMTEXT and CF_LOCALE from the Unicode text.
  const std::vector<PresentFormat> browser = {{0xC0A0, "HTML Format"}, {cf::kUnicodeText, ""}, {0xC0A1, "Rich Text Format"},
                                              {cf::kLocale, ""}, {cf::kText, ""}, {cf::kOemText, ""}};
  EXPECT_EQ(labels(plan_formats(browser, EntryKind::UnicodeText, all)),
            (Labels{"HTML Format", "CF_UNICODETEXT*", "Rich Text Format"}));
  EXPECT_EQ(labels(plan_formats(browser, EntryKind::AnsiText, FormatFilter("html*; CF_TEXT"))),
            (Labels{"HTML Format", "CF_UNICODETEXT*"}));
  // A CF_LOCALE the program put before its text is its own.
  EXPECT_EQ(labels(plan_formats({{cf::kLocale, ""}, {cf::kText, ""}, {cf::kUnicodeText, ""}}, EntryKind::AnsiText, all)),
            (Labels{"CF_LOCALE", "CF_TEXT*"}));
  // Handles, palettes, owner-display, private and GDI-object formats stay with the system; a
  // bitmap put as CF_BITMAP is kept as the DIB the system makes of it.
  const std::vector<PresentFormat> paint = {{cf::kBitmap, ""},  {cf::kPalette, ""}, {0x80, ""},   {0x200, ""},
                                            {0x300, ""},        {cf::kDib, ""},     {cf::kDibV5, ""}, {cf::kMetafilePict, ""},
                                            {cf::kEnhMetafile, ""}, {0xC001, ""},   {0xC002, "PNG"}};
  EXPECT_EQ(labels(plan_formats(paint, EntryKind::Bitmap, all)), (Labels{"CF_BITMAP*", "PNG"}));
  EXPECT_EQ(labels(plan_formats(paint, std::nullopt, all)), (Labels{"CF_DIB", "PNG"}));
  EXPECT_EQ(labels(plan_formats({{cf::kMetafilePict, ""}, {cf::kEnhMetafile, ""}}, std::nullopt, all)), (Labels{}));
  EXPECT_EQ(labels(plan_formats({{cf::kEnhMetafile, ""}, {cf::kMetafilePict, ""}}, std::nullopt, all)),
            (Labels{"CF_ENHMETAFILE"}));
}

// The matcher against a model: dynamic programming over the same folded characters.
bool model_match(const std::string& p, const std::string& t) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
  std::vector<std::vector<bool>> m(p.size() + 1, std::vector<bool>(t.size() + 1, false));
  m[0][0] = true;
  for (std::size_t i = 1; i <= p.size(); ++i) {
    for (std::size_t j = 0; j <= t.size(); ++j) {
      if (p[i - 1] == '*') {
        m[i][j] = m[i - 1][j] || (j > 0 && m[i][j - 1]);
      } else if (j > 0) {
        m[i][j] = m[i - 1][j - 1] && (p[i - 1] == '?' || lower(p[i - 1]) == lower(t[j - 1]));
      }
    }
  }
  return m[p.size()][t.size()];
}

TEST(HistoryFormats, WildcardsAgreeWithAModelAndCountCharacters) {
  std::mt19937 random(11);
  const std::string pattern_letters = "aAb*?", text_letters = "abAB";
  for (int round = 0; round < 20000; ++round) {
    std::string p, t;
    for (int i = static_cast<int>(random() % 7); i > 0; --i) p += pattern_letters[random() % pattern_letters.size()];
    for (int i = static_cast<int>(random() % 9); i > 0; --i) t += text_letters[random() % text_letters.size()];
    ASSERT_EQ(wildcard_match(p, t), model_match(p, t)) << '"' << p << "\" \"" << t << '"';
  }
  EXPECT_TRUE(wildcard_match("жИз?ь", "Жизнь"));
  EXPECT_TRUE(wildcard_match("a?b", "a\xF0\x9F\x98\x80" "b"));  // one emoji, one character
  EXPECT_FALSE(wildcard_match("??????", "12345\xF0\x9F\x98\x80\xF0\x9F\x98\x80"));
  EXPECT_TRUE(wildcard_match("*remote desktop*", "Server - Remote Desktop Connection"));
}

TEST(HistoryFormats, IgnoreRulesJudgeByWhatIsKnown) {
  std::vector<std::string> errors;
  const auto rules = parse_ignore_rules(
      {"Program=keepass*.exe", " ; a comment", "Window=*Remote Desktop*", "Text=??????", "Colour=red", "Text=", "nothing"},
      &errors);
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(errors.size(), 3u);
  const CopyOrigin keepass{"KeePass2.exe", {}}, rdp{"mstsc.exe", {"", "host - Remote Desktop Connection"}};
  EXPECT_TRUE(ignored_copy(rules, keepass, std::string_view("anything")));
  EXPECT_TRUE(ignored_copy(rules, rdp, std::nullopt));
  EXPECT_FALSE(ignored_copy(rules, CopyOrigin{"notepad.exe", {"Notes"}}, std::string_view("1234567")));
  // The owner gone: the text alone decides.
  EXPECT_TRUE(ignored_copy(rules, std::nullopt, std::string_view("123456")));
  EXPECT_FALSE(ignored_copy(rules, std::nullopt, std::string_view("hello")));
}

TEST(HistoryFormats, FileListsSurviveAnyCut) {
  const std::vector<std::string> names = {"C:\\Users\\ユーザー\\写真.jpg", "D:\\Документы\\отчёт.txt", "E:\\\xF0\x9F\x98\x80.txt"};
  const std::string block = make_drop_files(names);
  EXPECT_EQ(drop_file_names(block), names);
  EXPECT_EQ(files_preview(names), "3 files: 写真.jpg, отчёт.txt, \xF0\x9F\x98\x80.txt (C:\\Users\\ユーザー)");
  for (std::size_t cut = 0; cut < block.size(); ++cut) {
    const auto got = drop_file_names(block.substr(0, cut));
    if (!got) continue;
    ASSERT_LE(got->size(), names.size()) << cut;
    EXPECT_TRUE(std::equal(got->begin(), got->end(), names.begin())) << cut;  // whole names only
  }
  // The narrow layout, and an offset past the block.
  std::string narrow(20, '\0');
  narrow[0] = 20;
  narrow += std::string("C:\\a.txt\0C:\\b.txt\0\0", 20);
  EXPECT_EQ(drop_file_names(narrow), (std::vector<std::string>{"C:\\a.txt", "C:\\b.txt"}));
  narrow[0] = 100;
  EXPECT_EQ(drop_file_names(narrow), std::nullopt);
}

TEST(HistoryFormats, TheModelKeepsFormatsWithinTheLimit) {
  History h(HistoryLimits{10, 100});
  const std::vector<KeptFormat> html = {data_format(0xC000, "HTML Format", "<b>x</b>"), {cf::kUnicodeText, {}, FormatRole::Main, nullptr}};
  h.add(EntryKind::UnicodeText, bytes("x"), 1, 1, html);
  // The same copy again moves up; its text alone is an entry of its own.
  EXPECT_EQ(h.add(EntryKind::UnicodeText, bytes("x"), 1, 2, html)[0].op, RecordOp::Touch);
  EXPECT_EQ(h.add(EntryKind::AnsiText, bytes("x"), 1, 3)[0].op, RecordOp::Add);
  EXPECT_EQ(h.entries().size(), 2u);
  EXPECT_EQ(entry_bytes(*h.shown_at(2)), 1u + 8u);
  // Over the limit as a whole: the text stays, the rest is said to be left out.
  const auto big = h.add(EntryKind::UnicodeText, bytes("y"), 1, 4, {data_format(0xC001, "PNG", std::string(200, 'p'))});
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(describe(big[0].entry.formats), "PNG/3/-;");
  // A list of files keeps its list; formats alone with nothing left are not kept.
  const auto files = h.add(EntryKind::Files, bytes("C:\\f"), 4, 5,
                           {data_format(cf::kHDrop, {}, "drop"), data_format(0xC002, "FileContents", std::string(200, 'c'))});
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(describe(files[0].entry.formats), "CF_HDROP/0/drop;FileContents/3/-;");
  EXPECT_TRUE(h.add(EntryKind::Data, bytes(""), 0, 6, {data_format(0xC003, "Blob", std::string(200, 'b'))}).empty());
  HistoryEntry data{9, EntryKind::Data, bytes(""), 0, 0, false, false, {data_format(0xC003, "Blob", "b"), data_format(0xC004, "Other", "o")}};
  EXPECT_EQ(entry_preview(data, nullptr), "Data: Blob, Other");
}

}  // namespace
}  // namespace kestrin
