// A long rewrite in pieces against the same command on the whole text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "res/resource.h"
#include "transform/long_rewrite.h"
#include "transform/rules.h"
#include "utf.h"

namespace kestrin {
namespace {

// Runs of what the rules look at: line ends, spaces, brackets, chess squares,
// non-ASCII bytes (ANSI) or characters in other scripts (Unicode).
std::string random_text(std::mt19937& random, std::size_t size, bool unicode) {
  static const char* const ansi_parts[] = {"\r\n", "\r", "\n", "\f", " ", "  ", "\t", "(a)", "[b]", "{c}",
                                           "<d>", "e4", "Nf3", "abc", "XYZ", "\xE9", "\xFF", "/", "\\"};
  static const char* const wide_parts[] = {"\r\n", "\r", "\n", "\f", " ", "  ", "\t", "(a)", "[x]",
                                           "e4", "Nf3", "abc", "\xE6\x97\xA5\xE6\x9C\xAC",  // 日本
                                           "\xD0\x9C\xD0\xB8\xD1\x80",                       // Мир
                                           "\xF0\x9F\x98\x80", "\xC3\xA9", "/"};
  std::string text;
  while (text.size() < size) {
    if (unicode) {
      text += wide_parts[random() % std::size(wide_parts)];
    } else {
      text += ansi_parts[random() % std::size(ansi_parts)];
    }
  }
  return text;
}

std::string in_form(const std::string& text, bool unicode) {
  if (!unicode) return text;
  const std::u16string wide = utf8_to_utf16(text);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(char16_t));
}

std::string expected_of(unsigned id, const std::string& text, bool unicode) {
  std::string done = text;
  apply_text_command(id, done, LocalTime{});
  return in_form(done, unicode);
}

// Every command it runs, on random ANSI and Unicode texts, in random piece
// sizes: the result is the whole-text command's, byte for byte, and it fits
// the room it asked for.
TEST(LongRewrite, EqualsTheCommandOnTheWholeText) {
  std::mt19937 random(7);
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  std::size_t run = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const unsigned id = commands[k].id;
    if (!rewrites_long_text(id)) continue;
    for (int round = 0; round < 12; ++round) {
      const bool unicode = round % 2 == 1;
      const std::string text = random_text(random, 1 + random() % 3000, unicode);
      const std::size_t piece = 16 + random() % 400;
      std::string room;
      RewriteProgress progress;
      const RewriteResult result = rewrite_long_text(
          id, text, unicode, [&](std::size_t bytes) { room.assign(bytes, '#'); return room.data(); }, progress,
          piece);
      const std::string expected = expected_of(id, text, unicode);
      SCOPED_TRACE(std::string(commands[k].name) + (unicode ? " unicode" : " ansi") + " piece " +
                   std::to_string(piece));
      if (result.end == RewriteEnd::Unchanged) {
        // Only an expansion or addition with nothing to replace writes nothing.
        EXPECT_TRUE(commands[k].kind == RuleKind::Growing || commands[k].kind == RuleKind::Add);
        EXPECT_EQ(expected, in_form(text, unicode));
        continue;
      }
      ASSERT_EQ(result.end, RewriteEnd::Written);
      ASSERT_LE(result.size, room.size());
      EXPECT_EQ(room.substr(0, result.size), expected);
      EXPECT_EQ(progress.done.load(), progress.total.load());
      ++run;
    }
  }
  EXPECT_GT(run, 300u);
}

// Asked to stop at a random moment from another thread, it ends Stopped, or
// Written with the whole result: never with a part of one.
TEST(LongRewrite, AStopEndsItWithoutAPartialResult) {
  std::mt19937 random(11);
  const std::string ansi = random_text(random, 4 << 20, false);
  const std::string wide = random_text(random, 4 << 20, true);
  int stopped = 0;
  for (unsigned id : {IDM_UPPER_CASE, IDM_REMOVE_SPACES, IDM_ADD_NEW_LINES, IDM_CLEANUP_WORD_PER_LINE,
                      IDM_EXCESS_NEW_LINES}) {
    for (int round = 0; round < 4; ++round) {
      const bool unicode = round % 2 == 1;
      const std::string& text = unicode ? wide : ansi;
      RewriteProgress progress;
      std::string room;
      const uint64_t stop_at = random() % 10;  // tenths of the work
      std::thread stopper([&] {
        while (progress.total == 0 || progress.done * 10 < progress.total * stop_at) std::this_thread::yield();
        progress.stop = true;
      });
      const RewriteResult result = rewrite_long_text(
          id, text, unicode, [&](std::size_t bytes) { room.assign(bytes, '#'); return room.data(); }, progress,
          64 << 10);
      progress.stop = true;
      progress.done = progress.total.load();  // lets the stopper end
      stopper.join();
      ASSERT_NE(result.end, RewriteEnd::NoRoom);
      if (result.end == RewriteEnd::Stopped) {
        ++stopped;
      } else if (result.end == RewriteEnd::Written) {
        EXPECT_EQ(room.substr(0, result.size), expected_of(id, text, unicode));
      }
    }
  }
  EXPECT_GT(stopped, 0);
}

TEST(LongRewrite, NoRoomIsSaidAndNothingElseRuns) {
  RewriteProgress progress;
  const RewriteResult result =
      rewrite_long_text(IDM_LOWER_CASE, "Some Text", false, [](std::size_t) -> char* { return nullptr; }, progress);
  EXPECT_EQ(result.end, RewriteEnd::NoRoom);
  EXPECT_FALSE(rewrites_long_text(IDM_STAMP_COMPACT));
  EXPECT_FALSE(rewrites_long_text(IDM_PREPEND_STAMP));
}

}  // namespace
}  // namespace kestrin
