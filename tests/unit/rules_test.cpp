#include "transform/rules.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "res/resource.h"

namespace kestrin {
namespace {

std::string same(unsigned id, std::string text) {
  EXPECT_TRUE(same_length_replace(id, text.data(), text.size()));
  return text;
}

std::string removed(unsigned id, std::string text) {
  text.resize(remove_text(id, text.data(), text.size()));
  return text;
}

std::string grown(unsigned id, const std::string& text) {
  return growth_of(id, text) ? grow_text(id, text) : text;
}

std::string all_bytes() {
  std::string text;
  for (int v = 1; v < 256; ++v) text.push_back(static_cast<char>(v));
  return text;
}

TEST(SameLength, CaseCommandsTouchOnlyAsciiLetters) {
  EXPECT_EQ(same(IDM_REVERSE_CASE, "aBc"), "AbC");
  EXPECT_EQ(same(IDM_LOWER_CASE, "MiXeD 1@[`{"), "mixed 1@[`{");
  EXPECT_EQ(same(IDM_UPPER_CASE, "MiXeD 1@[`{"), "MIXED 1@[`{");
  const std::string high(reinterpret_cast<const char*>(u8"\xC0\xE9\xFF\x80"), 4);
  for (unsigned id : {IDM_REVERSE_CASE, IDM_LOWER_CASE, IDM_UPPER_CASE}) {
    EXPECT_EQ(same(id, high), high) << id;
    EXPECT_EQ(same(id, ""), "");
  }
}

TEST(SameLength, PhoneNumber) {
  EXPECT_EQ(same(IDM_PHONE_NUMBER, "CALL ME"), "2255 63");
  EXPECT_EQ(same(IDM_PHONE_NUMBER, "1-800-DIAL"), "1-800-3425");
  EXPECT_EQ(same(IDM_PHONE_NUMBER, "abcdefghijklmnopqrstuvwxyz"), "22233344455566677778889999");
}

TEST(SameLength, LineBreakAndSpaceSwaps) {
  EXPECT_EQ(same(IDM_CR_TO_LF, "a\r\nb\r\n"), "a\n\nb\n\n");
  EXPECT_EQ(same(IDM_LF_TO_CR, "a\nb"), "a\rb");
  EXPECT_EQ(same(IDM_CR_TO_FF, "a\rb"), "a\x0C" "b");
  EXPECT_EQ(same(IDM_FF_TO_CR, "a\x0C" "b"), "a\rb");
  EXPECT_EQ(same(IDM_FF_TO_LF, "a\x0C" "b"), "a\nb");
  EXPECT_EQ(same(IDM_LF_TO_FF, "a\nb"), "a\x0C" "b");
  EXPECT_EQ(same(IDM_FF_TO_SPACE, "\x0C\x0C"), "  ");
  EXPECT_EQ(same(IDM_CR_TO_SPACE, "\r\n"), " \n");
  EXPECT_EQ(same(IDM_LF_TO_SPACE, "\r\n"), "\r ");
  EXPECT_EQ(same(IDM_SPACE_TO_CR, "a b\t"), "a\rb\t");
  EXPECT_EQ(same(IDM_SPACE_TO_LF, "a b"), "a\nb");
  EXPECT_EQ(same(IDM_SPACE_TO_FF, "a b"), "a\x0C" "b");
}

TEST(SameLength, Slashes) {
  EXPECT_EQ(same(IDM_FLIP_SLASHES, "a/b\\c"), "a\\b/c");
  EXPECT_EQ(same(IDM_FORWARD_TO_REVERSE_SLASHES, "a/b\\c"), "a\\b\\c");
  EXPECT_EQ(same(IDM_REVERSE_TO_FORWARD_SLASHES, "a/b\\c"), "a/b/c");
}

TEST(SameLength, ChessFlipperScansSquaresLeftToRight) {
  EXPECT_EQ(same(IDM_CHESS_LEFT_RIGHT, "e4"), "d4");
  EXPECT_EQ(same(IDM_CHESS_TOP_BOTTOM, "e4"), "e5");
  EXPECT_EQ(same(IDM_CHESS_BOTH, "e4"), "d5");
  EXPECT_EQ(same(IDM_CHESS_LEFT_RIGHT, "Nf3"), "Nc3");
  EXPECT_EQ(same(IDM_CHESS_LEFT_RIGHT, "exd5"), "exe5");
  EXPECT_EQ(same(IDM_CHESS_TOP_BOTTOM, "a1"), "a8");
  EXPECT_EQ(same(IDM_CHESS_BOTH, "h8"), "a1");
  for (const char* untouched : {"i1", "A1", "a9", "a0", "a"}) {
    EXPECT_EQ(same(IDM_CHESS_BOTH, untouched), untouched);
  }
  EXPECT_EQ(same(IDM_CHESS_BOTH, "a1b2 h8"), "h8g7 a1");
}

// The vector paths must agree with a byte-at-a-time map on every byte value, at
// every offset and length around the vector width.
TEST(SameLength, VectorPathsMatchTheByteMap) {
  const std::string bytes = all_bytes();
  for (unsigned id : {IDM_REVERSE_CASE, IDM_LOWER_CASE, IDM_UPPER_CASE, IDM_CR_TO_LF,
                      IDM_FLIP_SLASHES, IDM_SPACE_TO_FF, IDM_PHONE_NUMBER}) {
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 33u, 255u}) {
      std::string text = bytes.substr(0, length);
      std::string expected = text;
      for (std::size_t i = 0; i < expected.size(); ++i) {
        std::string one(1, expected[i]);
        // One byte at a time never reaches the vector path.
        same_length_replace(id, one.data(), 1);
        expected[i] = one[0];
      }
      EXPECT_EQ(same(id, text), expected) << id << " " << length;
    }
  }
}

std::string frame_block(unsigned id, const std::string& block) {
  std::string target(same_length_block_size(block.data(), block.size()), '?');
  same_length_fill(id, block.data(), block.size(), target.data(), target.size());
  return target;
}

TEST(SameLengthFrame, WholeBlockCopiedAndTerminated) {
  // Slack after the NUL is kept (mapped or not, it is past the text).
  EXPECT_EQ(frame_block(IDM_UPPER_CASE, std::string("ab\0cd\0", 6)), std::string("AB\0cd\0", 6));
  EXPECT_EQ(frame_block(IDM_UPPER_CASE, std::string("\0", 1)), std::string("\0", 1));
  // A block without any NUL keeps its whole text.
  EXPECT_EQ(frame_block(IDM_UPPER_CASE, "abc"), std::string("ABC\0", 4));
  EXPECT_EQ(frame_block(IDM_CHESS_BOTH, "e4"), std::string("d5\0", 3));
}

TEST(Removal, DeletionsAndRuns) {
  EXPECT_EQ(removed(IDM_REMOVE_CR, "a\r\nb\r"), "a\nb");
  EXPECT_EQ(removed(IDM_REMOVE_LF, "a\r\nb\n"), "a\rb");
  EXPECT_EQ(removed(IDM_REMOVE_FF, "\x0C" "a\x0C"), "a");
  EXPECT_EQ(removed(IDM_REMOVE_SPACES, "a b\tc "), "ab\tc");
  EXPECT_EQ(removed(IDM_EXCESS_SPACES, "a   b"), "a b");
  EXPECT_EQ(removed(IDM_EXCESS_SPACES, "a  \t  b"), "a \t b");
  EXPECT_EQ(removed(IDM_EXCESS_CR, "\r\r\ra\r"), "\ra\r");
  EXPECT_EQ(removed(IDM_EXCESS_LF, "a\n\n\nb\n\n"), "a\nb\n");
  EXPECT_EQ(removed(IDM_EXCESS_FF, "\x0C\x0C"), "\x0C");
  const std::string high("\x7F\x80\x81\xFF" "a", 5);
  EXPECT_EQ(removed(IDM_REMOVE_NON_ASCII, high), "\x7F" "a");
  for (unsigned id : {IDM_REMOVE_CR, IDM_EXCESS_SPACES, IDM_EXCESS_NEW_LINES,
                      IDM_TRAILING_WHITE_SPACE, IDM_LEADING_WHITE_SPACE, IDM_REMOVE_BRACES}) {
    EXPECT_EQ(removed(id, ""), "") << id;
  }
}

// Deleting and squeezing one byte value: the vector path against a plain loop,
// across block edges and runs that straddle them.
TEST(Removal, VectorDeletionMatchesAPlainLoop) {
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    std::string text(random() % 300, 'x');
    for (char& c : text) c = "ab  \r\n"[random() % 6];
    for (bool squeeze : {false, true}) {
      std::string expected;
      for (std::size_t i = 0; i < text.size(); ++i) {
        const bool drop = text[i] == ' ' && (!squeeze || (i > 0 && text[i - 1] == ' '));
        if (!drop) expected += text[i];
      }
      EXPECT_EQ(removed(squeeze ? IDM_EXCESS_SPACES : IDM_REMOVE_SPACES, text), expected);
    }
  }
}

TEST(Removal, NewLinePairs) {
  EXPECT_EQ(removed(IDM_REMOVE_NEW_LINES, "a\r\nb"), "ab");
  EXPECT_EQ(removed(IDM_REMOVE_NEW_LINES, "a\rb\nc"), "a\rb\nc");
  EXPECT_EQ(removed(IDM_REMOVE_NEW_LINES, "a\r\n"), "a\r\n");  // a pair ending the text stays
  EXPECT_EQ(removed(IDM_NEW_LINES_TO_SPACES, "a\r\nb"), "a b");
  EXPECT_EQ(removed(IDM_NEW_LINES_TO_SPACES, "a\r\n"), "a\r\n");
  EXPECT_EQ(removed(IDM_NEW_LINES_TO_FF, "a\r\nb\r\n\r"), "a\x0C" "b\x0C\r");
}

TEST(Removal, ExcessNewLinesAndTheirEndBounds) {
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES, "a\r\n\r\n\r\n\r\nbc"), "a\r\nbc");
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES, "a\r\n\r\n\r\n"), "a\r\n\r\n");
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES, "a\r\n\r\nb"), "a\r\n\r\nb");  // fewer than six left
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES_LEAVE_ONE, "a\r\n\r\n\r\n\r\nbcd"), "a\r\n\r\nbcd");
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES_LEAVE_ONE, "a\r\n\r\n\r\nb"), "a\r\n\r\n\r\nb");
  const std::string text = "x\r\n\r\n\r\n\r\n\r\ny\r\n\r\n\r\n\r\nz and more";
  const std::string once = removed(IDM_EXCESS_NEW_LINES, text);
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES, once), once);
  const std::string kept = removed(IDM_EXCESS_NEW_LINES_LEAVE_ONE, text);
  EXPECT_EQ(removed(IDM_EXCESS_NEW_LINES_LEAVE_ONE, kept), kept);
}

TEST(Removal, TrailingWhiteSpace) {
  EXPECT_EQ(removed(IDM_TRAILING_WHITE_SPACE, "a  \r\nb"), "a\r\nb");
  EXPECT_EQ(removed(IDM_TRAILING_WHITE_SPACE, "a\t\x0C" "b"), "a\x0C" "b");
  EXPECT_EQ(removed(IDM_TRAILING_WHITE_SPACE, "a  "), "a  ");
  EXPECT_EQ(removed(IDM_TRAILING_WHITE_SPACE, "a \tb \n"), "a \tb\n");
  EXPECT_EQ(removed(IDM_TRAILING_WHITE_SPACE, "  \n"), "\n");
}

TEST(Removal, LeadingWhiteSpace) {
  EXPECT_EQ(removed(IDM_LEADING_WHITE_SPACE, "\t x"), "x");
  EXPECT_EQ(removed(IDM_LEADING_WHITE_SPACE, "x\r\n  y"), "x\r\ny");
  EXPECT_EQ(removed(IDM_LEADING_WHITE_SPACE, "x\x0C y"), "x\x0C y");
  EXPECT_EQ(removed(IDM_LEADING_WHITE_SPACE, "x\r\n "), "x\r\n ");
  EXPECT_EQ(removed(IDM_LEADING_WHITE_SPACE, "x\r\n  "), "x\r\n");
  EXPECT_EQ(removed(IDM_LEADING_WHITE_SPACE, "\n \n b"), "\n\n b");
}

TEST(Removal, BracketedText) {
  EXPECT_EQ(removed(IDM_REMOVE_PARENTHESES, "f(x) = y"), "f = y");
  EXPECT_EQ(removed(IDM_REMOVE_PARENTHESES, "a) b( c"), "a) b");
  EXPECT_EQ(removed(IDM_REMOVE_PARENTHESES, "a(b(c)d)e"), "ad)e");
  EXPECT_EQ(removed(IDM_REMOVE_BRACKETS, "x[1] (y) {z} <w>"), "x (y) {z} <w>");
  EXPECT_EQ(removed(IDM_REMOVE_BRACES, "{a}b{"), "b");
  EXPECT_EQ(removed(IDM_REMOVE_ANGLE_BRACKETS, "<b>bold</b>"), "bold");
}

// Trailing white space the plain way: a white byte goes when the first byte
// after its run is CR, LF or FF.
std::string plain_trailing(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      std::size_t end = i;
      while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
      if (end < text.size() && (text[end] == '\r' || text[end] == '\n' || text[end] == '\x0C')) {
        continue;
      }
    }
    out += c;
  }
  return out;
}

TEST(Removal, TrailingWhiteSpaceMatchesAPlainScan) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string text(random() % 80, 'x');
    for (char& c : text) c = "a \t\t\r\n\x0C"[random() % 7];
    EXPECT_EQ(removed(IDM_TRAILING_WHITE_SPACE, text), plain_trailing(text));
  }
}

// Cutting a text where the rule allows and rewriting the pieces in turn gives
// what the rule gives on the whole text.
TEST(Splitting, PiecesGiveTheWholeResult) {
  std::mt19937 random(17);
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  for (std::size_t k = 0; k < count; ++k) {
    const unsigned id = commands[k].id;
    for (int round = 0; round < 40; ++round) {
      std::string text(random() % 60, 'x');
      for (char& c : text) c = "ab1e8  \t\r\n\x0C\x80("[random() % 13];
      std::string whole = text;
      apply_text_command(id, whole, LocalTime{});
      std::string pieces;
      std::size_t start = 0;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (i + 1 < text.size() && random() % 3 == 0 && splits_after(id, text[i])) {
          std::string piece = text.substr(start, i + 1 - start);
          apply_text_command(id, piece, LocalTime{});
          pieces += piece;
          start = i + 1;
        }
      }
      std::string last = text.substr(start);
      apply_text_command(id, last, LocalTime{});
      pieces += last;
      if (splits_after(id, 'a') || splits_after(id, ' ') || splits_after(id, 'x')) {
        EXPECT_EQ(pieces, whole) << commands[k].name << " on " << ::testing::PrintToString(text);
      }
    }
  }
  EXPECT_FALSE(splits_after(IDM_EXCESS_NEW_LINES, 'x'));
  EXPECT_FALSE(splits_after(IDM_REMOVE_PARENTHESES, 'x'));
  EXPECT_FALSE(splits_after(IDM_CLEANUP_SINGLE_LINE, 'x'));
}

TEST(Growth, ExpansionsAndAdditions) {
  EXPECT_EQ(grown(IDM_SPACES_TO_NEW_LINES, "a b c"), "a\r\nb\r\nc");
  EXPECT_EQ(grown(IDM_FF_TO_NEW_LINES, "a\x0C" "b\t"), "a\r\nb\t");
  EXPECT_EQ(growth_of(IDM_FF_TO_NEW_LINES, "no form feed"), 0u);
  EXPECT_EQ(growth_of(IDM_SPACES_TO_NEW_LINES, ""), 0u);
  EXPECT_EQ(grown(IDM_ADD_NEW_LINES, "a\r\nb"), "a\r\n\r\nb");
  EXPECT_EQ(growth_of(IDM_ADD_NEW_LINES, "a\nb\n"), 0u);
  EXPECT_EQ(grown(IDM_ADD_NEW_LINES, "\r\r\n\r"), "\r\r\n\r\n\r");
  EXPECT_EQ(grown(IDM_ADD_CR, "\rx\r"), "\r\rx\r\r");
  EXPECT_EQ(grown(IDM_ADD_LF, "\n\n"), "\n\n\n\n");
}

TEST(Stamps, Formats) {
  const LocalTime t{2004, 3, 5, 7, 8, 9, 5};
  EXPECT_EQ(compact_stamp(t), "20040305070809");
  EXPECT_EQ(date_stamp(t), "2004-03-05 07:08:09\r\nFriday\r\n\r\n");
  EXPECT_EQ(date_stamp(t).size(), 31u);
  EXPECT_EQ(date_stamp(LocalTime{2003, 12, 25, 14, 30, 5, 4}),
            "2003-12-25 14:30:05\r\nThursday\r\n\r\n");
}

std::string recipe(unsigned id, std::string text) {
  EXPECT_TRUE(apply_text_command(id, text, LocalTime{}));
  return text;
}

TEST(Recipes, DocumentedExamples) {
  EXPECT_EQ(recipe(IDM_CLEANUP_SINGLE_SPACED, "  Hello \r\n\r\n\r\nWorld\r\n!"),
            "Hello\r\nWorld\r\n!");
  EXPECT_EQ(recipe(IDM_CLEANUP_SINGLE_LINE, "a\r\nb\r\nc"), "a b c");
  EXPECT_EQ(recipe(IDM_CLEANUP_WORD_PER_LINE, "two  words"), "two\r\nwords");
  EXPECT_EQ(recipe(IDM_CLEANUP_PGN_COMMENTS, "{A long\r\ncomment \xE9t\xE9\r\nhere}"),
            "{A long comment t here}");
  EXPECT_EQ(recipe(IDM_CLEANUP_SOURCE_CODE, "int x;  \r\n"), "int x;\r\n");
  EXPECT_EQ(recipe(IDM_CLEANUP_DOUBLE_SPACED, "a\r\nb"), "a\r\n\r\nb");
  EXPECT_EQ(recipe(IDM_CLEANUP_MEMO_PAD, "a \r\n\r\n\r\n\r\nbcd"), "a\r\n\r\nbcd");
}

TEST(Catalogue, NamesAreUniqueAndFindable) {
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  EXPECT_EQ(count, 57u);
  std::set<std::string> names;
  std::set<unsigned> ids;
  for (std::size_t i = 0; i < count; ++i) {
    names.insert(commands[i].name);
    ids.insert(commands[i].id);
    EXPECT_EQ(find_text_command(commands[i].name), &commands[i]);
    EXPECT_EQ(find_text_command(commands[i].id), &commands[i]);
    std::string text = "Sample text (with) [every] kind\r\nof\tbyte\x0C/\\ e4";
    EXPECT_TRUE(apply_text_command(commands[i].id, text, LocalTime{2026, 1, 2, 3, 4, 5, 6}));
  }
  EXPECT_EQ(names.size(), count);
  EXPECT_EQ(ids.size(), count);
  EXPECT_EQ(find_text_command("no-such-command"), nullptr);
  std::string text = "x";
  EXPECT_FALSE(apply_text_command(40048, text, LocalTime{}));
}

}  // namespace
}  // namespace kestrin
