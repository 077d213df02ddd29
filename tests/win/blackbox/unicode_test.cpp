// Text outside the ANSI code page through the real program: text commands,
// append, the automatic cleanup and the title keep every character, while a
// CF_TEXT copy in the code page keeps today's bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

using Unicode = ProgramTest;

const std::u16string kMixed = u"grüße 日本語 жизнь 😀 abc";

bool set_unicode(const std::u16string& text) {
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  bytes.append(2, '\0');
  return set_clipboard_data(CF_UNICODETEXT, bytes);
}

// CF_UNICODETEXT as it stands, up to its NUL.
std::optional<std::u16string> unicode_text() {
  if (!wait_until([] { return OpenClipboard(nullptr) != FALSE; }, 5000)) return std::nullopt;
  std::optional<std::u16string> text;
  if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* data = static_cast<const char16_t*>(GlobalLock(block))) {
      const std::size_t units = GlobalSize(block) / 2;
      std::size_t n = 0;
      while (n < units && data[n] != 0) ++n;
      text.emplace(data, n);
      GlobalUnlock(block);
    }
  }
  CloseClipboard();
  return text;
}

::testing::AssertionResult unicode_becomes(const std::u16string& expected) {
  return becomes([] { return unicode_text(); }, std::optional<std::u16string>(expected));
}

// The program has handled a copy when its title tells the copy's size.
::testing::AssertionResult title_has(const Kestrin& run, const std::string& part) {
  return becomes([&] { return window_text(run.window()).find(part) != std::string::npos; }, true);
}

TEST_F(Unicode, TextCommandsKeepEveryCharacter) {
  auto run = start();
  ASSERT_TRUE(run);
  ASSERT_TRUE(set_unicode(kMixed));
  EXPECT_TRUE(title_has(*run, ", 21 chars,"));  // characters, not bytes or UTF-16 units
  ASSERT_TRUE(run->command(IDM_UPPER_CASE));
  EXPECT_TRUE(unicode_becomes(u"GRüßE 日本語 жизнь 😀 ABC"));
  ASSERT_TRUE(run->command(IDM_SPACES_TO_NEW_LINES));  // a growing rule
  EXPECT_TRUE(unicode_becomes(u"GRüßE\r\n日本語\r\nжизнь\r\n😀\r\nABC"));
  ASSERT_TRUE(run->command(IDM_REMOVE_NEW_LINES));  // a shrinking one
  EXPECT_TRUE(unicode_becomes(u"GRüßE日本語жизнь😀ABC"));
  ASSERT_TRUE(run->command(IDM_REMOVE_NON_ASCII));  // removes exactly those
  EXPECT_TRUE(unicode_becomes(u"GREABC"));
  EXPECT_EQ(run->close(), 0u);
}

// A CF_TEXT copy that the code page holds (cp1252 é) keeps today's bytes.
TEST_F(Unicode, AnsiCopyKeepsItsBytes) {
  auto run = start();
  ASSERT_TRUE(run);
  ASSERT_TRUE(set_clipboard_data(CF_TEXT, std::string("caf\xE9 au lait\0", 13)));
  EXPECT_TRUE(title_has(*run, ", 12 bytes,"));
  ASSERT_TRUE(run->command(IDM_UPPER_CASE));
  EXPECT_TRUE(becomes([] { return clipboard_text(); }, std::optional<std::string>("CAF\xE9 AU LAIT")));
  EXPECT_EQ(run->close(), 0u);
}

// cp1251 bytes tagged Russian by CF_LOCALE are read through CF_UNICODETEXT,
// not as cp1252: a command keeps the Russian text.
TEST_F(Unicode, CopyTaggedWithAnotherCodePageIsNotMisread) {
  auto run = start();
  ASSERT_TRUE(run);
  const LCID russian = 0x0419;
  ASSERT_TRUE(set_clipboard_formats(
      {{CF_TEXT, std::string("\xE6\xE8\xE7\xED\xFC abc\0", 10)},
       {CF_LOCALE, std::string(reinterpret_cast<const char*>(&russian), sizeof russian)}}));
  EXPECT_TRUE(title_has(*run, ", 9 chars,"));
  ASSERT_TRUE(run->command(IDM_UPPER_CASE));
  EXPECT_TRUE(unicode_becomes(u"жизнь ABC"));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Unicode, AppendAndAutomaticCleanupKeepEveryCharacter) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n");
  ASSERT_TRUE(run);
  ASSERT_TRUE(set_unicode(u"日本"));
  EXPECT_TRUE(title_has(*run, ", 2 chars,"));
  ASSERT_TRUE(set_clipboard_text("and"));  // ANSI joined to Unicode: converted, nothing lost
  EXPECT_TRUE(unicode_becomes(u"日本 and"));
  ASSERT_TRUE(set_unicode(u"жизнь 😀"));
  EXPECT_TRUE(unicode_becomes(u"日本 and жизнь 😀"));
  ASSERT_TRUE(run->command(IDM_APPEND));  // off

  ASSERT_TRUE(run->command(IDM_CLEANUP_SOURCE_CODE));  // becomes the automatic recipe
  ASSERT_TRUE(run->command(IDM_AUTO_CLEANUP));
  ASSERT_TRUE(set_unicode(u"  αβγ   δ\r\n"));
  EXPECT_TRUE(becomes([] {
    const auto text = unicode_text();
    return text && text->find(u"αβγ") != std::u16string::npos && text->find(u"δ") != std::u16string::npos &&
           text->find(u'?') == std::u16string::npos;
  }, true));
  EXPECT_EQ(run->close(), 0u);
}

// A file named outside the ANSI code page, with UTF-8 text, put on the
// clipboard from the command line: found by its name, and its text whole.
TEST_F(Unicode, CopyToTakesANameOutsideTheCodePage) {
  const std::string dir = temp_dir();
  const std::u16string name = u"\\тест 日本.txt";
  const std::u16string wide_dir(dir.begin(), dir.end());
  const std::u16string path = wide_dir + name;
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, 0,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const std::string utf8 = "жизнь 😀";
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
  auto copy = Kestrin::start({.arguments = "\"copyto=" + dir + "\\тест 日本.txt\"",
                              .expect_window = false});
  ASSERT_TRUE(copy);
  HWND box = copy->wait_for_window("Tried to copy file contents to clipboard.");
  ASSERT_NE(box, nullptr);
  press_button(box, IDOK);
  EXPECT_EQ(copy->wait_exit(), 1u);
  EXPECT_EQ(unicode_text(), std::optional<std::u16string>(u"жизнь 😀"));
}

// Stored, saved to the automatic clip file, read again after a restart and
// recalled: every character comes back, as CF_UNICODETEXT.
TEST_F(Unicode, SlotKeepsItThroughTheClipFileAndARestart) {
  const std::string path = temp_dir() + "\\unicode.clc";
  auto run = start("[Options]\r\nClipsAutoFile=1\r\nClipFileName=" + path + "\r\n");
  ASSERT_TRUE(run);
  HWND box = run->wait_for_window("GetLastError()", 2000);  // no file yet
  if (box) press_button(box, IDOK);
  ASSERT_TRUE(set_unicode(kMixed));
  EXPECT_TRUE(title_has(*run, ", 21 chars,"));
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 3));
  ASSERT_TRUE(set_clipboard_text("plain"));
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 4));
  EXPECT_EQ(run->close(), 0u);

  run = start();  // the settings of the last run
  ASSERT_TRUE(run);
  ASSERT_TRUE(empty_clipboard());
  ASSERT_TRUE(run->command(IDM_RECALL_FIRST + 3));
  EXPECT_TRUE(unicode_becomes(kMixed));
  ASSERT_TRUE(run->command(IDM_RECALL_FIRST + 4));
  EXPECT_TRUE(becomes([] { return clipboard_text(); }, std::optional<std::string>("plain")));
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
