// The command line's frames, its verb parser and what list prints.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "history/history.h"
#include "remote/listing.h"
#include "remote/protocol.h"
#include "remote/verbs.h"

namespace kestrin::remote {
namespace {

std::string random_bytes(std::mt19937& random, std::size_t max) {
  std::string bytes(random() % (max + 1), '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::optional<Request> request_of(const std::string& frame) {
  const auto length = body_length(std::string_view(frame).substr(0, kHeaderSize), kRequestMagic, kMaxRequestBody);
  if (!length || frame.size() - kHeaderSize != *length) return std::nullopt;
  return decode_request(std::string_view(frame).substr(kHeaderSize));
}

// Every request and answer survives its frame; every frame cut short, or
// with a byte more, is refused rather than read past or half taken.
TEST(RemoteProtocol, FramesRoundTripAndRefuseEveryCut) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    Request request;
    for (std::size_t n = random() % 6; n > 0; --n) request.words.push_back(random_bytes(random, 40));
    const std::optional<std::string> frame = encode_request(request);
    ASSERT_TRUE(frame);
    EXPECT_EQ(request_of(*frame), request);
    for (std::size_t cut = kHeaderSize; cut < frame->size(); ++cut) {
      EXPECT_FALSE(decode_request(std::string_view(*frame).substr(kHeaderSize, cut - kHeaderSize))) << cut;
    }
    EXPECT_FALSE(decode_request(frame->substr(kHeaderSize) + "x"));

    const Answer answer{static_cast<int>(random() % 4), random_bytes(random, 100), random_bytes(random, 30)};
    const std::string reply = encode_answer(answer);
    const auto length = body_length(std::string_view(reply).substr(0, kHeaderSize), kAnswerMagic, kMaxAnswerBody);
    ASSERT_TRUE(length);
    EXPECT_EQ(decode_answer(std::string_view(reply).substr(kHeaderSize)), answer);
    EXPECT_FALSE(decode_answer(std::string_view(reply).substr(kHeaderSize, *length - 1)));
  }
}

TEST(RemoteProtocol, HostileLengthsAreRefusedBeforeAnythingIsAllocated) {
  // A header over the bound, or of the other direction.
  std::string header = "KRQ1";
  header += std::string("\xFF\xFF\xFF\x7F", 4);
  EXPECT_FALSE(body_length(header, kRequestMagic, kMaxRequestBody));
  const std::string answer_frame = encode_answer({0, "x", ""});
  EXPECT_FALSE(body_length(std::string_view(answer_frame).substr(0, kHeaderSize), kRequestMagic, kMaxRequestBody));
  // Two billion words announced in eight bytes; a word longer than the body.
  EXPECT_FALSE(decode_request(std::string("\x00\x00\x00\x80\x00\x00\x00\x00", 8)));
  EXPECT_FALSE(decode_request(std::string("\x01\x00\x00\x00\xFF\xFF\xFF\xFF" "abc", 11)));
  // Exit codes are those of a process.
  EXPECT_FALSE(decode_answer(std::string("\x00\x01\x00\x00" "\x00\x00\x00\x00" "\x00\x00\x00\x00", 12)));
  // Too many words to send.
  EXPECT_FALSE(encode_request({std::vector<std::string>(kMaxWords + 1, "w")}));
}

struct Case {
  std::vector<std::string> words;
  const char* error;  // nullptr: parsed
  Verb verb = Verb::Help;
  std::optional<std::size_t> position = std::nullopt;
  std::optional<std::string> text = std::nullopt;
  bool json = false;
  bool from_input = false;
};

TEST(RemoteVerbs, ParserAgainstATable) {
  const std::vector<Case> cases = {
      {{"list"}, nullptr, Verb::List},
      {{"list", "5", "--json"}, nullptr, Verb::List, std::nullopt, std::nullopt, true},
      {{"list", "0"}, "list: N is a number from 1"},
      {{"list", "1", "2"}, "usage: kestrin list [N] [--json]"},
      {{"read", "3"}, nullptr, Verb::Read, 3},
      {{"read"}, "usage: kestrin read N [--format NAME] [--json]"},
      {{"read", "-1"}, "read: N is a position from 1, as the history window counts"},
      {{"read", "1", "--format"}, "read: --format needs a format's name"},
      {{"select", "12345678901"}, "select: N is a position from 1, as the history window counts"},
      {{"pin", "2", "--json"}, "pin: unknown option '--json' (kestrin pin --help)"},
      {{"search", "two", "words"}, nullptr, Verb::Search, std::nullopt, "two words"},
      {{"search"}, "usage: kestrin search TEXT [--json]"},
      {{"add"}, nullptr, Verb::Add, std::nullopt, std::nullopt, false, true},
      {{"add", "-"}, nullptr, Verb::Add, std::nullopt, std::nullopt, false, true},
      {{"add", "--", "-"}, nullptr, Verb::Add, std::nullopt, "-"},
      {{"copy", "--", "--json"}, nullptr, Verb::Copy, std::nullopt, "--json"},
      {{"run", "Upper", "Case"}, nullptr, Verb::Run, std::nullopt, "Upper Case"},
      {{"run", "upper-case", "4"}, nullptr, Verb::Run, 4, "upper-case"},
      {{"run", "40120"}, nullptr, Verb::Run, std::nullopt, "40120"},
      {{"clear", "now"}, "usage: kestrin clear"},
      {{"exit"}, nullptr, Verb::Exit},
      {{"lst"}, "unknown verb 'lst' (kestrin help lists them)"},
      {{}, "no verb given (kestrin help lists them)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.empty() ? "(nothing)" : c.words[0]);
    const Parsed parsed = parse_invocation(c.words);
    if (c.error) {
      EXPECT_FALSE(parsed.invocation);
      EXPECT_EQ(parsed.error, c.error);
      continue;
    }
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_EQ(parsed.invocation->verb, c.verb);
    EXPECT_EQ(parsed.invocation->position, c.position);
    EXPECT_EQ(parsed.invocation->text, c.text);
    EXPECT_EQ(parsed.invocation->json, c.json);
    EXPECT_EQ(parsed.invocation->from_input, c.from_input);
    // What the program receives parses to the same invocation (a text read
    // from standard input goes as a text).
    Invocation sent = *parsed.invocation;
    if (sent.from_input) sent = {sent.verb, false, false, {}, {}, {}, std::string("-"), false};
    const Parsed again = parse_invocation(invocation_words(sent));
    ASSERT_TRUE(again.invocation) << again.error;
    EXPECT_EQ(again.invocation->text, sent.text);
    EXPECT_EQ(again.invocation->position, sent.position);
    EXPECT_FALSE(again.invocation->from_input);
  }
  // Every verb has its help, and --help wins over whatever else is wrong.
  for (const VerbInfo& v : verb_table()) {
    const Parsed parsed = parse_invocation({v.name, "--help", "extra", "words"});
    ASSERT_TRUE(parsed.invocation);
    EXPECT_TRUE(parsed.invocation->help);
    EXPECT_NE(verb_help(v.verb).find(v.usage), std::string::npos);
    EXPECT_NE(general_help().find(v.usage), std::string::npos);
  }
}

TEST(RemoteVerbs, Utf8CheckAgreesWithADecodeOfEveryCodePoint) {
  // Every code point's encoding is taken; surrogates, overlong forms, cut
  // sequences and bytes that never start one are not.
  auto encode = [](char32_t c) {
    std::string s;
    if (c < 0x80) s += static_cast<char>(c);
    else if (c < 0x800) s += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    else if (c < 0x10000) s += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    else s += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    return s;
  };
  for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x10000 ? 1 : 97)) {
    const std::string bytes = encode(c);
    EXPECT_EQ(is_utf8(bytes), c < 0xD800 || c > 0xDFFF) << static_cast<uint32_t>(c);
    if (bytes.size() > 1) {
      EXPECT_FALSE(is_utf8(bytes.substr(0, bytes.size() - 1)));
    }
  }
  for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xF0\x80\x80\x80", "\xF4\x90\x80\x80", "\x80", "\xFF", "\xF8\x88\x80\x80\x80"}) {
    EXPECT_FALSE(is_utf8(bad)) << bad;
  }
  EXPECT_TRUE(is_utf8("Привет, 日本語, 🎉"));
}

std::string as_is(std::string_view ansi) { return std::string(ansi); }

TEST(RemoteListing, JsonAndLinesDescribeEachEntryAsTheWindowDoes) {
  History history;
  history.add(EntryKind::UnicodeText, share_bytes("first line\tand tab\nsecond line"), 30, 100);
  history.add(EntryKind::UnicodeText, share_bytes("Ёжик 🦔"), 6, 160);
  history.set_pinned(history.shown().back()->id, true);
  const std::vector<const HistoryEntry*> order = history.shown();
  ASSERT_EQ(order.size(), 2u);
  const std::vector<Listed> rows{{1, order[0]}, {2, order[1]}};

  const nlohmann::json document = nlohmann::json::parse(list_json(rows, 220, as_is));
  ASSERT_EQ(document["entries"].size(), 2u);
  const auto& pinned = document["entries"][0];
  EXPECT_EQ(pinned["position"], 1);
  EXPECT_EQ(pinned["pinned"], true);
  EXPECT_EQ(pinned["preview"], "first line and tab");
  EXPECT_EQ(pinned["age"], "2 min");
  EXPECT_TRUE(pinned["origin"].is_null());
  EXPECT_EQ(document["entries"][1]["preview"], "Ёжик 🦔");
  EXPECT_EQ(document["entries"][1]["size_text"], "6 chars");

  // One line per entry, seven fields.
  const std::string lines = list_text(rows, 220, as_is);
  EXPECT_EQ(lines, "1\ttext\t2 min\t30 chars\tpinned\t\tfirst line and tab\n"
                   "2\ttext\t1 min\t6 chars\t\t\tЁжик 🦔\n");

  // A damaged text still makes a document that parses.
  History damaged;
  damaged.add(EntryKind::UnicodeText, share_bytes("\xFF\xFE broken"), 9, 1);
  const nlohmann::json read = nlohmann::json::parse(entry_json({1, damaged.shown()[0]}, "\xC3", 1, as_is));
  EXPECT_EQ(read["position"], 1);
  EXPECT_TRUE(read["text"].is_string());
}

}  // namespace
}  // namespace kestrin::remote
