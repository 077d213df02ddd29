// The encoding unit against glibc's iconv on random and hostile input, the
// character counts and cuts, and every text rule on random UTF-8: what comes
// out is UTF-8 again, with the non-ASCII characters as they went in.
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <random>

#include "transform/rules.h"
#include "utf.h"

namespace kestrin {
namespace {

// iconv's answer: the converted bytes, or nothing for ill-formed input.
std::optional<std::string> iconv_convert(const char* to, const char* from, std::string in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 8, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t src_left = in.size(), dst_left = out.size();
  const std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - dst_left);
  return out;
}

// Random bytes that are often, but not always, UTF-8: code points of every
// length, and now and then a stray or cut byte.
std::string random_text(std::mt19937& rng, bool well_formed) {
  std::string out;
  const int n = static_cast<int>(rng() % 40);
  for (int i = 0; i < n; ++i) {
    const unsigned kind = rng() % 10;
    char32_t cp = 0;
    if (kind < 4) cp = rng() % 0x80;
    else if (kind < 6) cp = 0x80 + rng() % 0x780;
    else if (kind < 8) cp = 0x800 + rng() % 0xF800;
    else cp = 0x10000 + rng() % 0x100000;
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xE000;
    out += utf16_to_utf8(cp >= 0x10000 ? std::u16string{static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                                       static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))}
                                       : std::u16string{static_cast<char16_t>(cp)});
    if (!well_formed && rng() % 8 == 0) out += static_cast<char>(0x80 + rng() % 0x80);
  }
  return out;
}

TEST(Utf, AgreesWithIconvOnRandomAndHostileInput) {
  std::mt19937 rng(20261207);
  std::vector<std::string> inputs = {"", "\xEF\xBB\xBF", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                                     "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xC3", "a\xE2\x82",
                                     "\xFF\xFE", "grüße 日本語 жизнь 😀 abc"};
  for (int i = 0; i < 3000; ++i) inputs.push_back(random_text(rng, i % 2 == 0));
  for (const std::string& in : inputs) {
    const std::optional<std::string> reference = iconv_convert("UTF-16LE", "UTF-8", in);
    EXPECT_EQ(valid_utf8(in), reference.has_value()) << testing::PrintToString(in);
    if (!reference) continue;
    EXPECT_EQ(utf16_to_bytes(utf8_to_utf16(in)), *reference);
    EXPECT_EQ(utf16_to_utf8(bytes_to_utf16(*reference)), in);
    const std::optional<std::string> utf32 = iconv_convert("UTF-32LE", "UTF-8", in);
    EXPECT_EQ(count_characters(in), utf32->size() / 4);
  }
  // Ill-formed input still converts, to U+FFFD, and lone surrogates too.
  EXPECT_EQ(utf8_to_utf16("a\xC0\xAF" "b"), u"a\uFFFD\uFFFDb");
  EXPECT_EQ(utf16_to_utf8(std::u16string{u'x', char16_t(0xD800), u'y', char16_t(0xDC00)}),
            "x\xEF\xBF\xBDy\xEF\xBF\xBD");
  EXPECT_EQ(detect_bom("\xEF\xBB\xBF"), Bom::Utf8);
  EXPECT_EQ(detect_bom("\xFF\xFEh"), Bom::Utf16Le);
  EXPECT_EQ(detect_bom("\xFE\xFF"), Bom::Utf16Be);
  EXPECT_EQ(detect_bom("\xEF\xBB"), Bom::None);
}

TEST(Utf, FileTextIsUnicodeOnlyWhenItSaysSoOrIsUtf8) {
  std::string text;
  EXPECT_TRUE(decode_file_text("\xEF\xBB\xBFgrüße", text));
  EXPECT_EQ(text, "grüße");  // the mark is not part of the text
  EXPECT_TRUE(decode_file_text(std::string("\xFF\xFEh\0\xE9\0", 6), text));
  EXPECT_EQ(text, "hé");
  EXPECT_TRUE(decode_file_text(std::string("\xFE\xFF\0h\x65\xE5", 6), text));
  EXPECT_EQ(text, "h日");
  EXPECT_TRUE(decode_file_text("\xEF\xBB\xBF", text));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(decode_file_text("жизнь", text));
  for (const char* code_page : {"plain ascii", "caf\xE9", "\xC3"}) {
    EXPECT_FALSE(decode_file_text(code_page, text)) << code_page;
  }
  EXPECT_TRUE(wants_no_bom("C:\\x\\run.BAT"));
  EXPECT_TRUE(wants_no_bom("go.cmd"));
  EXPECT_FALSE(wants_no_bom("C:\\x.bat\\notes.txt"));
  EXPECT_FALSE(wants_no_bom("notes"));
}

TEST(Utf, CountsAndCutsAreInCharacters) {
  const std::string text = "grüße 日本語 жизнь 😀 abc";
  EXPECT_EQ(count_characters(text), 21u);
  EXPECT_EQ(count_non_ascii_characters(text), 11u);
  EXPECT_EQ(text.substr(0, utf8_prefix(text, 3)), "grü");
  EXPECT_EQ(text.substr(0, utf8_prefix(text, 17)), "grüße 日本語 жизнь 😀");
  EXPECT_EQ(utf8_prefix(text, 100), text.size());
  EXPECT_EQ(utf8_prefix("😀😀", 1), 4u);
}

// The non-ASCII characters of a text, in order.
std::vector<std::string> non_ascii(std::string_view s) {
  std::vector<std::string> out;
  for (std::size_t at = 0; at < s.size();) {
    if (static_cast<unsigned char>(s[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::size_t n = utf8_prefix(s.substr(at), 1);
    out.emplace_back(s.substr(at, n));
    at += n;
  }
  return out;
}

// Every rule leaves bytes of 0x80 and above alone or removes them whole, so it
// runs on UTF-8 as it is: the output is UTF-8, and its non-ASCII characters are
// those of the input, in order, or (Remove Non-ASCII) none at all.
TEST(Utf, EveryRuleKeepsUtf8AndItsCharacters) {
  std::mt19937 rng(7);
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  const LocalTime now{2026, 12, 7, 9, 5, 3, 1};
  for (int i = 0; i < 200; ++i) {
    std::string sample = random_text(rng, true);
    ASSERT_TRUE(valid_utf8(sample));
    for (const char* piece : {"  Hello (x) [y] {z} <a>\r\n", "\tPÜNKT\\/ ", "\r\r\n\n\x0C"}) {
      sample.insert(utf8_prefix(sample, rng() % (count_characters(sample) + 1)), piece);
    }
    for (std::size_t k = 0; k < count; ++k) {
      std::string text = sample;
      ASSERT_TRUE(apply_text_command(commands[k].id, text, now)) << commands[k].name;
      EXPECT_TRUE(valid_utf8(text)) << commands[k].name << " on " << testing::PrintToString(sample);
      const std::vector<std::string> out = non_ascii(text), in = non_ascii(sample);
      if (commands[k].kind == RuleKind::Stamp) continue;
      const std::string_view name = commands[k].name;
      if (name.find("non-ascii") != name.npos || name.find("binary") != name.npos ||
          name.rfind("remove-", 0) == 0 || name == "pgn-comments") {
        // Commands that remove spans or characters: what is left is whole and in order.
        if (name == "remove-non-ascii") {
          EXPECT_TRUE(out.empty());
        }
        std::size_t j = 0;
        for (const std::string& c : out) {
          while (j < in.size() && in[j] != c) ++j;
          EXPECT_LT(j, in.size()) << commands[k].name;
          ++j;
        }
        continue;
      }
      EXPECT_EQ(out, in) << commands[k].name << " on " << testing::PrintToString(sample);
    }
  }
}

}  // namespace
}  // namespace kestrin
