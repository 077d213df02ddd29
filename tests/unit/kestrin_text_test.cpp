// kestrin-text through a real pipe: every command gives the bytes of the rule.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "transform/rules.h"
#include "utf.h"

namespace kestrin {
namespace {

const char* const kSample =
    "  Mixed Case text (with notes) [1] {x} <b>\t\r\n\r\n\r\n\r\nline two  \r\n"
    "e4 exd5 Nf3 a/b\\c\x0C" "form\x0C\x0C" "feed \xE9t\xE9 caf\xC3\xA9\n\nlone\rcr  end  ";

struct CliRun {
  int status;
  std::string output;
};

// `before` runs in the same shell ahead of the program, on the same input.
CliRun run_cli(const std::string& arguments, const std::string& input,
               const std::string& before = "") {
  // Test programs of several builds run at once: each has its own input file.
  const std::string in_path =
      ::testing::TempDir() + "kestrin-text-in-" + std::to_string(getpid()) + ".txt";
  std::ofstream(in_path, std::ios::binary) << input;
  const std::string command = "(" + before + std::string(KESTRIN_TEXT_CLI) + " " + arguments +
                              ") < " + in_path + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  CliRun run{-1, {}};
  if (!pipe) return run;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = pclose(pipe);
  std::remove(in_path.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(KestrinText, EveryCommandMatchesItsRule) {
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TextCommand& c = commands[i];
    if (c.kind == RuleKind::Stamp || c.kind == RuleKind::Prepend) continue;  // the clock
    std::string expected = kSample;
    ASSERT_TRUE(apply_text_command(c.id, expected, LocalTime{}));
    const CliRun by_name = run_cli(c.name, kSample);
    EXPECT_EQ(by_name.status, 0) << c.name;
    EXPECT_EQ(by_name.output, expected) << c.name;
    EXPECT_EQ(run_cli(std::to_string(c.id), kSample).output, expected) << c.id;
  }
}

TEST(KestrinText, StampsCarryTheDate) {
  const CliRun stamp = run_cli("date-time-compact", "ignored");
  EXPECT_EQ(stamp.status, 0);
  ASSERT_EQ(stamp.output.size(), 14u);
  EXPECT_EQ(stamp.output.find_first_not_of("0123456789"), std::string::npos);
  const CliRun prepend = run_cli("prepend-date-time", "Hello");
  EXPECT_EQ(prepend.output.substr(prepend.output.size() - 9), "\r\n\r\nHello");
}

TEST(KestrinText, ListAndBadArguments) {
  const CliRun list = run_cli("--list", "");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.output.find("40011\tupper-case\tUpper Case\n"), std::string::npos);
  EXPECT_NE(list.output.find("40026\tremove-cr\tCarriage Returns\n"), std::string::npos);
  for (const char* bad : {"no-such-command", "40048", "", "upper-case extra"}) {
    const CliRun run = run_cli(bad, "x");
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(run.output, "") << bad;
  }
}

// A shell that has read a line of the file hands the rest on: the program
// reads from there, whatever way the command reads its input.
TEST(KestrinText, SeekableInputIsReadFromWhereItStands) {
  const std::string input = "first line\r\n\r\n\r\n\r\nsecond  part\r\n";
  const std::string rest = input.substr(input.find('\n') + 1);
  for (const char* name : {"upper-case", "excess-new-lines"}) {
    std::string expected = rest;
    ASSERT_TRUE(apply_text_command(find_text_command(name)->id, expected, LocalTime{}));
    EXPECT_EQ(run_cli(name, input, "read l; ").output, expected) << name;
  }
}

// UTF-16 with its mark comes back as UTF-16 with it, its characters kept; a
// UTF-8 mark is set aside, so the leading-space rule sees the real start.
TEST(KestrinText, ByteOrderMarksAreKept) {
  const std::u16string text = u"  grüße 日本語 😀 abc";
  for (bool big : {false, true}) {
    const std::string input = std::string(big ? "\xFE\xFF" : "\xFF\xFE") + utf16_to_bytes(text, big);
    const CliRun upper = run_cli("upper-case", input);
    EXPECT_EQ(upper.status, 0);
    EXPECT_EQ(upper.output, std::string(big ? "\xFE\xFF" : "\xFF\xFE") +
                                utf16_to_bytes(u"  GRüßE 日本語 😀 ABC", big));
  }
  const CliRun leading = run_cli("leading-white-space", "\xEF\xBB\xBF  \xD0\xB6 x");
  EXPECT_EQ(leading.output, "\xEF\xBB\xBF\xD0\xB6 x");
  const CliRun streamed = run_cli("upper-case", "\xEF\xBB\xBF" "ab\xD0\xB6");
  EXPECT_EQ(streamed.output, "\xEF\xBB\xBF" "AB\xD0\xB6");
  EXPECT_EQ(run_cli("upper-case", "ab").output, "AB");  // shorter than a mark
  EXPECT_EQ(run_cli("upper-case", "").output, "");
}

TEST(KestrinText, EmptyAndBinaryInput) {
  EXPECT_EQ(run_cli("upper-case", "").output, "");
  const std::string with_nul("a\0b\r\nc", 6);
  EXPECT_EQ(run_cli("remove-cr", with_nul).output, std::string("a\0b\nc", 5));
}

}  // namespace
}  // namespace kestrin
