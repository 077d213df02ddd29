// The slots and the clip file through the real program: its question box, its
// file dialogs, the automatic file across a restart, and a save that fails.
#include <gtest/gtest.h>

#include "program_test.h"
#include "res/resource.h"
#include "slots/clip_file.h"

namespace kestrin::test {
namespace {

using ClipFiles = ProgramTest;

std::vector<uint8_t> file_bytes(const std::string& path) {
  const std::optional<std::string> bytes = read_file(path);
  return bytes ? std::vector<uint8_t>(bytes->begin(), bytes->end()) : std::vector<uint8_t>{};
}

std::string ini_with(const std::string& path, bool automatic) {
  return "[Options]\r\nClipsAutoFile=" + std::string(automatic ? "1" : "0") +
         "\r\nClipFileName=" + path + "\r\n";
}

// Recalls slot i and waits for the clipboard to hold `text`.
::testing::AssertionResult recalls(const Kestrin& run, unsigned i, const std::string& text) {
  empty_clipboard();
  run.command(IDM_RECALL_FIRST + i);
  return becomes([] { return clipboard_text(); }, std::optional<std::string>(text));
}

TEST_F(ClipFiles, ClearClipsAsksAndCancelKeepsEverything) {
  auto run = start();
  ASSERT_TRUE(run);
  copy("precious");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 4));

  run->post(WM_COMMAND, IDM_CLEAR_CLIPS);
  HWND box = run->wait_for_window("Question");
  ASSERT_NE(box, nullptr);
  const std::vector<std::string> texts = child_texts(box);
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Are you sure you wish to clear you wish to clear the clipboard storage "
                      "slots?"),
            texts.end());
  press_button(box, IDCANCEL);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(box); }));
  EXPECT_TRUE(recalls(*run, 4, "precious"));

  run->post(WM_COMMAND, IDM_CLEAR_CLIPS);
  box = run->wait_for_window("Question");
  ASSERT_NE(box, nullptr);
  press_button(box, IDOK);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(box); }));
  ASSERT_TRUE(set_clipboard_text("untouched"));
  ASSERT_TRUE(run->command(IDM_RECALL_FIRST + 4));  // empty now: nothing happens
  ASSERT_TRUE(run->sync());
  EXPECT_EQ(clipboard_text(), "untouched");
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(ClipFiles, SaveAndLoadThroughTheFileDialogs) {
  const std::string path = temp_dir() + "\\mine.clc";
  auto run = start();
  ASSERT_TRUE(run);
  copy("saved text");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST));

  run->post(WM_COMMAND, IDM_SAVE_CLIPS);
  HWND dialog = run->wait_for_window("Save As");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(choose_file(dialog, path));
  ASSERT_TRUE(wait_until([&] { return read_file(path).has_value(); }));
  const ClipFileRead saved = read_clip_file(file_bytes(path));
  ASSERT_TRUE(saved.header);
  EXPECT_EQ(saved.slots[0].label_text(), "saved text");

  copy("changed");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST));
  run->post(WM_COMMAND, IDM_LOAD_CLIPS);
  dialog = run->wait_for_window("Open");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(choose_file(dialog, path));
  ASSERT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(recalls(*run, 0, "saved text"));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("ClipFileName"), path);  // the dialogs set the clip file name
}

// With the automatic file the slots and their usage figures survive a restart,
// and each store writes the file at once.
TEST_F(ClipFiles, AutomaticFileKeepsSlotsAndFiguresAcrossARestart) {
  const std::string path = temp_dir() + "\\auto.clc";
  auto run = start(ini_with(path, true));
  ASSERT_TRUE(run);
  copy("lasting");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 7));
  EXPECT_EQ(read_clip_file(file_bytes(path)).slots[7].label_text(), "lasting");
  EXPECT_TRUE(recalls(*run, 7, "lasting"));
  EXPECT_TRUE(recalls(*run, 7, "lasting"));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(read_clip_file(file_bytes(path)).slots[7].times_used, 2u);

  run = start();  // the settings of the last run, written at its close
  ASSERT_TRUE(run);
  EXPECT_TRUE(recalls(*run, 7, "lasting"));
  EXPECT_EQ(run->close(), 0u);
  const ClipFileRead again = read_clip_file(file_bytes(path));
  EXPECT_EQ(again.slots[7].times_used, 3u);
  EXPECT_EQ(again.failed_site, 0u);
  EXPECT_FALSE(read_file(path + ".saving").has_value());
}

// A save that cannot replace the file leaves it as it was, with one box.
TEST_F(ClipFiles, SaveIntoAReadOnlyFileKeepsThePreviousClips) {
  const std::string path = temp_dir() + "\\locked.clc";
  SlotArray old;
  const std::string text("old clip", 9);
  old[0].format = 1;
  old[0].data.emplace(text.begin(), text.end());
  const std::vector<uint8_t> before = clip_file_bytes(old);
  write_file(path, std::string(before.begin(), before.end()));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));

  auto run = start(ini_with(path, false));
  ASSERT_TRUE(run);
  copy("new clip");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST));
  run->post(WM_COMMAND, IDM_SAVE_CLIPS);
  HWND dialog = run->wait_for_window("Save As");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(choose_file(dialog, path));
  HWND box = run->wait_for_window("GetLastError()");
  ASSERT_NE(box, nullptr);
  press_button(box, IDOK);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(box); }));
  EXPECT_EQ(file_bytes(path), before);
  EXPECT_TRUE(run->wait_for_window("GetLastError()", 500) == nullptr);  // one box only
  EXPECT_EQ(run->close(), 0u);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Answers the box with this caption and returns its text.
std::string answer_box(const Kestrin& run, const char* caption) {
  HWND box = run.wait_for_window(caption);
  if (!box) return "(no box)";
  std::string text;
  for (const std::string& t : child_texts(box)) text += t;
  press_button(box, IDOK);
  wait_until([&] { return !IsWindow(box); });
  return text;
}

// A damaged file at start-up: its box, one report of the records lost, the
// whole records taken; the file is left as it was, also by a store and at the
// close, until Save Clips replaces it.
TEST_F(ClipFiles, ShortFileAtStartUpIsReportedOnceAndKeptAsItWas) {
  const std::string path = temp_dir() + "\\short.clc";
  SlotArray slots;
  const std::string first("first", 6), second("second", 7);
  slots[0].format = slots[1].format = 1;
  slots[0].data.emplace(first.begin(), first.end());
  slots[1].data.emplace(second.begin(), second.end());
  std::vector<uint8_t> bytes = clip_file_bytes(slots);
  bytes.resize(16 + 50 + 20);  // into the second record
  write_file(path, std::string(bytes.begin(), bytes.end()));

  write_file(windows_ini_path(), ini_with(path, true));
  auto run = Kestrin::start({.expect_window = false});
  ASSERT_TRUE(run);
  EXPECT_NE(answer_box(*run, "GetLastError()"), "(no box)");  // shown during the creation
  EXPECT_NE(answer_box(*run, "Kestrin").find("records 2 to 20 could not be read"),
            std::string::npos);
  ASSERT_TRUE(run->find_window());
  ASSERT_TRUE(run->sync());
  EXPECT_TRUE(run->wait_for_window("GetLastError()", 500) == nullptr);
  EXPECT_TRUE(recalls(*run, 0, "first"));
  ASSERT_TRUE(set_clipboard_text("untouched"));
  ASSERT_TRUE(run->command(IDM_RECALL_FIRST + 1));
  ASSERT_TRUE(run->sync());
  EXPECT_EQ(clipboard_text(), "untouched");

  copy("stored");
  run->post(WM_COMMAND, IDM_STORE_FIRST + 5);
  EXPECT_NE(answer_box(*run, "Kestrin").find("were not saved"), std::string::npos);
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 6));  // said once only
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(file_bytes(path), bytes);
}

// A clip file another program holds at start-up is not wiped at the close.
TEST_F(ClipFiles, LockedFileAtStartUpIsNotWipedAtTheClose) {
  const std::string path = temp_dir() + "\\held.clc";
  SlotArray slots;
  const std::string text("kept", 5);
  slots[3].format = 1;
  slots[3].data.emplace(text.begin(), text.end());
  const std::vector<uint8_t> before = clip_file_bytes(slots);
  write_file(path, std::string(before.begin(), before.end()));
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  write_file(windows_ini_path(), ini_with(path, true));
  auto run = Kestrin::start({.expect_window = false});
  ASSERT_TRUE(run);
  EXPECT_NE(answer_box(*run, "GetLastError()"), "(no box)");
  ASSERT_TRUE(run->find_window());
  CloseHandle(held);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(file_bytes(path), before);
}

// A record of a kind this program does not take (an enhanced metafile, 14)
// is reported once and goes back into the file unchanged with the next save.
TEST_F(ClipFiles, UnknownRecordSurvivesARoundTrip) {
  const std::string path = temp_dir() + "\\newer.clc";
  SlotArray slots;
  const std::string text("plain", 6);
  slots[0].format = 1;
  slots[0].data.emplace(text.begin(), text.end());
  const std::vector<uint8_t> unicode = {'h', 0, 'i', 0, 0, 0};
  slots[2].format = 14;
  slots[2].data = unicode;
  const std::vector<uint8_t> before = clip_file_bytes(slots);
  write_file(path, std::string(before.begin(), before.end()));
  write_file(windows_ini_path(), ini_with(path, true));
  auto run = Kestrin::start({.expect_window = false});
  ASSERT_TRUE(run);
  EXPECT_NE(answer_box(*run, "Kestrin").find("1 record of"), std::string::npos);
  ASSERT_TRUE(run->find_window());
  copy("added");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 9));
  EXPECT_EQ(run->close(), 0u);
  const std::vector<uint8_t> after = file_bytes(path);
  const std::size_t third = 16 + kClipRecordHead + text.size() + 4;  // slot 2's record
  ASSERT_GT(after.size(), third + kClipRecordHead + unicode.size());
  EXPECT_TRUE(std::equal(before.begin() + third, before.begin() + third + kClipRecordHead + 6,
                         after.begin() + third));
  EXPECT_EQ(read_clip_file(after).slots[9].label_text(), "added");
}

// A clip file name of 254 characters: the save beside it fits, and a store
// reaches the file.
TEST_F(ClipFiles, LongClipFileNameIsSaved) {
  std::string path = temp_dir() + "\\";
  path += std::string(254 - path.size() - 4, 'c') + ".clc";
  ASSERT_EQ(path.size(), 254u);
  auto run = start(ini_with(path, true));
  ASSERT_TRUE(run);
  answer_box(*run, "GetLastError()");  // not there yet
  copy("long name");
  ASSERT_TRUE(run->command(IDM_STORE_FIRST + 1));
  EXPECT_EQ(read_clip_file(file_bytes(path)).slots[1].label_text(), "long name");
  EXPECT_TRUE(run->wait_for_window("GetLastError()", 300) == nullptr);
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
