// The text commands of the real program, through the real clipboard.
#include <gtest/gtest.h>

#include "program_test.h"
#include "res/resource.h"
#include "transform/rules.h"

namespace kestrin::test {
namespace {

using Transform = ProgramTest;

TEST_F(Transform, OneCommandOfEachFrame) {
  auto run = start();
  copy("Hello");
  ASSERT_TRUE(run->command(IDM_UPPER_CASE));
  EXPECT_TRUE(handled("HELLO"));  // written, and its change handled

  copy("a   b");
  ASSERT_TRUE(run->command(IDM_EXCESS_SPACES));
  EXPECT_TRUE(handled("a b"));

  copy("a b");
  ASSERT_TRUE(run->command(IDM_SPACES_TO_NEW_LINES));
  EXPECT_TRUE(handled("a\r\nb"));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Transform, NothingToReplaceWritesNothing) {
  auto run = start();
  copy("no form feed, lone\nline feeds");
  const DWORD before = GetClipboardSequenceNumber();
  for (unsigned id : {IDM_FF_TO_NEW_LINES, IDM_ADD_NEW_LINES, IDM_ADD_CR}) {
    ASSERT_TRUE(run->command(id));
    EXPECT_EQ(GetClipboardSequenceNumber(), before) << id;
  }
  // The shrinking frame writes back even when nothing changed.
  ASSERT_TRUE(run->command(IDM_REMOVE_FF));
  EXPECT_NE(GetClipboardSequenceNumber(), before);
  EXPECT_EQ(clipboard_text(), "no form feed, lone\nline feeds");
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Transform, InAppendModeATransformationIsNotJoined) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40159\r\n", "a");
  ASSERT_TRUE(run->command(IDM_UPPER_CASE));
  EXPECT_TRUE(handled("A"));
  ASSERT_TRUE(set_clipboard_text("b"));
  EXPECT_TRUE(handled("A\r\nb"));  // the next copy joins onto the transformed text
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Transform, EachRecipeOnItsExample) {
  struct Example {
    unsigned recipe;
    const char* text;
    const char* result;
  };
  const Example examples[] = {
      {IDM_CLEANUP_SINGLE_SPACED, "  Hello \r\n\r\n\r\nWorld\r\n!", "Hello\r\nWorld\r\n!"},
      {IDM_CLEANUP_DOUBLE_SPACED, "  Hello \r\n\r\n\r\nWorld\r\n!", "Hello\r\n\r\nWorld\r\n\r\n!"},
      {IDM_CLEANUP_SOURCE_CODE, "int x;  \r\n\treturn;\t\r\n", "int x;\r\n\treturn;\r\n"},
      {IDM_CLEANUP_PGN_COMMENTS, "{good\r\nmove \xE9\r\nhere}", "{good move here}"},
      {IDM_CLEANUP_MEMO_PAD, "a \r\n\r\n\r\n\r\nbcd", "a\r\n\r\nbcd"},
      {IDM_CLEANUP_SINGLE_LINE, "a\r\nb\r\nc", "a b c"},
      {IDM_CLEANUP_WORD_PER_LINE, "two  words", "two\r\nwords"},
  };
  auto run = start();
  for (const Example& e : examples) {
    copy(e.text);
    ASSERT_TRUE(run->command(e.recipe));
    EXPECT_TRUE(handled(e.result)) << e.recipe;
  }
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("AutoCleanupCommand"),
            "40099");
}

TEST_F(Transform, AutomaticCleanupRunsTheLastRecipeOnEveryCopy) {
  auto run = start("[Options]\r\nAutoCleanup=1\r\nAutoCleanupCommand=40098\r\n");
  ASSERT_TRUE(set_clipboard_text("one\r\ntwo\r\nthree"));
  EXPECT_TRUE(handled("one two three"));
  EXPECT_EQ(run->close(), 0u);
  // With no recipe chosen nothing runs.
  run = start("[Options]\r\nAutoCleanup=1\r\nAutoCleanupCommand=0\r\n");
  copy("one\r\ntwo");
  EXPECT_EQ(run->close(), 0u);
}

// The size of a stamp made now (the weekday's name makes it vary).
std::size_t stamp_size() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  LocalTime at;
  at.day_of_week = now.wDayOfWeek;
  return date_stamp(at).size();
}

TEST_F(Transform, StampAndClearRequestsFromAnotherProgram) {
  auto run = start();
  copy("Hello");
  ASSERT_TRUE(run->send(WM_KESTRIN_STAMP).has_value());
  ASSERT_TRUE(becomes([] { return clipboard_text().value_or("").size(); }, stamp_size() + 5));
  const std::string stamped = clipboard_text().value_or("");
  EXPECT_EQ(stamped.substr(4, 1), "-");
  EXPECT_EQ(stamped.substr(stamp_size()), "Hello");
  ASSERT_TRUE(run->send(WM_KESTRIN_CLEAR).has_value());
  EXPECT_EQ(clipboard_text(), std::nullopt);
  EXPECT_EQ(run->close(), 0u);
  // The stamp request switched append mode on; the clear request off again.
  EXPECT_EQ(setting("Append"), "0");

  run = start();
  ASSERT_TRUE(run->send(WM_KESTRIN_STAMP).has_value());  // no text: the date stamp alone
  ASSERT_TRUE(becomes([] { return clipboard_text().value_or("").size(); }, stamp_size()));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("Append"), "1");
}

TEST_F(Transform, EscapeStampsAndScrollLockPrepends) {
  auto run = start();
  ASSERT_TRUE(set_clipboard_data(CF_DIB, make_dib(2, 2, 0)));  // a bitmap is replaced too
  ASSERT_TRUE(run->send(WM_KEYDOWN, VK_ESCAPE, 1).has_value());
  ASSERT_TRUE(becomes([] { return clipboard_text().value_or("").size(); }, stamp_size()));
  const std::string stamp = *clipboard_text();
  EXPECT_TRUE(stamp.ends_with("day\r\n\r\n")) << stamp;
  copy("Body");
  ASSERT_TRUE(run->send(WM_KEYDOWN, VK_SCROLL, 1).has_value());
  ASSERT_TRUE(becomes([] { return clipboard_text().value_or("").size(); }, stamp_size() + 4));
  EXPECT_TRUE(clipboard_text()->ends_with("\r\n\r\nBody"));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Transform, NumberPromptOkAndCancel) {
  auto run = start("[Options]\r\nConsecutiveBinaryCharactersToRemove=4\r\n");
  copy("text \xFF\xFE");
  struct Answer {
    int button;
    const char* typed;
    const char* shown;  // the value the prompt opens with
  };
  // Cancel keeps 4; OK stores 12; OK on an empty field gives back the 12 it showed.
  for (const Answer& a : {Answer{IDCANCEL, "99", "4"}, Answer{IDOK, "12", "4"},
                          Answer{IDOK, "", "12"}}) {
    run->post(WM_COMMAND, IDM_BINARY_WITH_NEW_LINES, 0);
    HWND prompt = run->wait_for_window("How Many?");
    ASSERT_NE(prompt, nullptr);
    std::vector<std::string> texts = child_texts(prompt);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Number of consecutive non-ASCII characters:"),
              texts.end());
    EXPECT_EQ(window_text(GetDlgItem(prompt, 1029)), a.shown) << a.typed;
    SendMessageA(GetDlgItem(prompt, 1029), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.typed));
    press_button(prompt, a.button);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(prompt); }));
  }
  // Without text on the clipboard nothing is asked; the command answers 1.
  ASSERT_TRUE(empty_clipboard());
  EXPECT_EQ(run->send(WM_COMMAND, IDM_BINARY_WITH_NEW_LINES), 1);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("ConsecutiveBinaryCharactersToRemove"), "12");
}

// kestrin-text.exe, the Windows console build, gives the bytes of the rules too.
TEST(KestrinTextExe, CommandsMatchTheirRules) {
  const std::string exe = beside_kestrin("kestrin-text.exe");
  const std::string sample = "  Two  lines (here) \r\n\r\n\r\n\r\nand\ttabs \xE9 a/b e4\x0C end ";
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (commands[i].kind == RuleKind::Stamp || commands[i].kind == RuleKind::Prepend) continue;
    std::string expected = sample;
    apply_text_command(commands[i].id, expected, LocalTime{});
    DWORD code = 0;
    EXPECT_EQ(run_console(exe, commands[i].name, sample, code), expected) << commands[i].name;
    EXPECT_EQ(code, 0u) << commands[i].name;
  }
  DWORD code = 0;
  run_console(exe, "no-such-command", sample, code);
  EXPECT_EQ(code, 2u);
}

}  // namespace
}  // namespace kestrin::test
