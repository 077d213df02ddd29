// Start-up and shutdown of the real program: the command line, the single
// instance, the close confirmation and the commands without their own handling.
#include <gtest/gtest.h>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

using Startup = ProgramTest;

// The command-line copy ends with a box whose caption is the message and whose
// text is the file name; no main window is made.
void expect_copy_box(Kestrin& run, const char* caption, const std::string& file_name) {
  HWND box = run.wait_for_window(caption);
  ASSERT_NE(box, nullptr) << caption;
  std::vector<std::string> texts = child_texts(box);
  EXPECT_NE(std::find(texts.begin(), texts.end(), file_name), texts.end()) << file_name;
  EXPECT_TRUE(process_windows(run.pid(), "Quorvane").empty());
  press_button(box, IDOK);
  EXPECT_EQ(run.wait_exit(), 1u);
}

TEST_F(Startup, CopyToMissingFileLeavesARunningCopyAlone) {
  auto first = Kestrin::start();
  ASSERT_TRUE(first && first->window());
  ASSERT_TRUE(set_clipboard_text("kept"));
  ASSERT_TRUE(first->sync());

  const std::string missing = temp_dir() + "\\no such file.txt";
  auto copy = Kestrin::start({.arguments = "copyto=" + missing, .expect_window = false});
  ASSERT_TRUE(copy);
  expect_copy_box(*copy, "Can not open file to copy to the clipboard.", missing);

  EXPECT_TRUE(first->running());
  EXPECT_TRUE(first->sync());
  EXPECT_EQ(clipboard_text(), "kept");
  EXPECT_EQ(first->close(), 0u);
}

TEST_F(Startup, CopyToPutsTheFileBytesOnTheClipboard) {
  const std::string path = temp_dir() + "\\note.txt";
  const std::string bytes = "first line\r\nsecond\tline \xE9\xFF\r\n";
  write_file(path, bytes);

  auto copy = Kestrin::start({.arguments = "COPYTO=" + path, .expect_window = false});
  ASSERT_TRUE(copy);
  expect_copy_box(*copy, "Tried to copy file contents to clipboard.", path);
  EXPECT_EQ(clipboard_text(), bytes);
}

TEST_F(Startup, QuotedCopyToTakesTheNameBetweenTheQuotes) {
  const std::string path = temp_dir() + "\\with space.txt";
  write_file(path, "quoted form");
  auto copy =
      Kestrin::start({.arguments = "\"copyto=" + path + "\"", .expect_window = false});
  ASSERT_TRUE(copy);
  expect_copy_box(*copy, "Tried to copy file contents to clipboard.", path);
  EXPECT_EQ(clipboard_text(), "quoted form");
}

TEST_F(Startup, CopyToFileTooLargeForTheClipboardCopiesNothing) {
  const std::string path = temp_dir() + "\\huge.bin";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 5ll << 30;  // 5 GiB, sparse on the host
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  ASSERT_TRUE(set_clipboard_text("before"));

  auto copy = Kestrin::start({.arguments = "copyto=" + path, .expect_window = false});
  ASSERT_TRUE(copy);
  expect_copy_box(*copy, "Tried to copy file contents to clipboard.", path);
  EXPECT_EQ(clipboard_text(), "before");
  remove_file(path);
}

TEST_F(Startup, OtherCommandLinesAreRefused) {
  for (const std::string arguments : {"C:\\windows\\win.ini", "copyto"}) {
    auto run = Kestrin::start({.arguments = arguments, .expect_window = false});
    ASSERT_TRUE(run);
    HWND box = run->wait_for_window("Command line not understood");
    ASSERT_NE(box, nullptr) << arguments;
    std::vector<std::string> texts = child_texts(box);
    EXPECT_NE(std::find(texts.begin(), texts.end(), arguments), texts.end()) << arguments;
    press_button(box, IDOK);
    EXPECT_EQ(run->wait_exit(), 1u);
  }
}

TEST_F(Startup, SecondCopyIsRefusedAndTheFirstKeepsRunning) {
  auto first = Kestrin::start();
  ASSERT_TRUE(first && first->window());
  const std::string title = window_text(first->window());
  auto second = Kestrin::start({.expect_window = false});
  ASSERT_TRUE(second);
  HWND box = second->wait_for_window("Error");
  ASSERT_NE(box, nullptr);
  std::vector<std::string> texts = child_texts(box);
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Can not run more than one copy of this program at a time."),
            texts.end());
  EXPECT_TRUE(process_windows(second->pid(), "Quorvane").empty());
  press_button(box, IDOK);
  EXPECT_EQ(second->wait_exit(), 0u);
  EXPECT_TRUE(first->running());
  EXPECT_TRUE(first->sync());
  EXPECT_EQ(window_text(first->window()), title);
  EXPECT_EQ(first->close(), 0u);
}

TEST_F(Startup, UnknownCommandShowsTheNotImplementedDialogAndChangesNothing) {
  auto baseline = Kestrin::start();
  ASSERT_TRUE(baseline && baseline->window());
  EXPECT_EQ(baseline->close(), 0u);
  const std::optional<std::string> untouched = read_file(windows_ini_path());
  ASSERT_TRUE(untouched);
  remove_file(windows_ini_path());

  ASSERT_TRUE(set_clipboard_text("unchanged"));
  auto run = Kestrin::start();
  ASSERT_TRUE(run && run->window());
  for (unsigned id : {unsigned{IDM_FETCH_URLS}, 40999u}) {
    run->post(WM_COMMAND, id, 0);
    HWND dialog = run->wait_for_dialog_with_text("The requested feature is not implemented yet.");
    ASSERT_NE(dialog, nullptr) << id;
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), run->window());
    // Escape does not close it; OK does.
    press_button(dialog, IDCANCEL);
    ASSERT_TRUE(run->sync());
    EXPECT_TRUE(IsWindow(dialog));
    press_button(dialog, IDOK);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
  }
  EXPECT_EQ(clipboard_text(), "unchanged");
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(read_file(windows_ini_path()), untouched);
}

TEST_F(Startup, ExitCommandEndsWithZero) {
  auto run = Kestrin::start();
  ASSERT_TRUE(run && run->window());
  run->post(WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(run->wait_exit(), 0u);
}

TEST_F(Startup, HostNameLookupShowsNothing) {
  auto run = Kestrin::start();
  ASSERT_TRUE(run && run->window());
  const std::size_t windows_before = process_windows(run->pid()).size();
  ASSERT_TRUE(run->command(IDM_NEXT_IDEA));
  EXPECT_EQ(process_windows(run->pid()).size(), windows_before);
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Startup, ConfirmQuitAnsweredNoKeepsRunningAndWritesNothing) {
  const std::string ini = "[Options]\r\nConfirmQuit=1\r\n";
  write_file(windows_ini_path(), ini);
  auto run = Kestrin::start();
  ASSERT_TRUE(run && run->window());

  run->post(WM_CLOSE);
  HWND question = run->wait_for_window("Kestrin");
  ASSERT_NE(question, nullptr);
  std::vector<std::string> texts = child_texts(question);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Are you sure you wish to quit?"),
            texts.end());
  press_button(question, IDNO);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(question); }));
  EXPECT_TRUE(run->sync());
  EXPECT_TRUE(run->running());
  EXPECT_EQ(read_file(windows_ini_path()), ini);

  run->post(WM_COMMAND, IDM_EXIT, 0);  // asks the same question
  question = run->wait_for_window("Kestrin");
  ASSERT_NE(question, nullptr);
  press_button(question, IDYES);
  EXPECT_EQ(run->wait_exit(), 0u);
  auto written = read_file(windows_ini_path());
  ASSERT_TRUE(written);
  EXPECT_EQ(ini_value(*written, "Options", "ShellSanityCheck"), "5");
}

}  // namespace
}  // namespace kestrin::test
