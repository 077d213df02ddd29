// The history inside the program: what a change records when joins, the
// automatic cleanup, private copies and bitmaps are in play, and a text command
// run on an entry.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstring>
#include <thread>

#include "clipboard/analysis.h"
#include "clipboard/change_win.h"
#include "history/history_file.h"
#include "history/history_win.h"
#include "res/resource.h"
#include "run_command_win.h"
#include "wide_win.h"
#include "sealed_reader.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

class HistoryInside : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    test::remove_file(narrow(history_file_path()));
  }
  void create_on(const std::string& more = "") {
    create("[Options]\r\nHistory=1\r\n" + more);
    ASSERT_TRUE(test::wait_until([&] {
      pump();
      return app_.history->loaded();
    }));
  }
  void copy(const std::string& text) {
    ASSERT_TRUE(test::set_clipboard_text(text));
    pump();
  }
  std::vector<std::string> shown() const {
    std::vector<std::string> texts;
    for (const HistoryEntry* e : app_.history->model.shown()) {
      texts.push_back(entry_preview(*e, [](std::string_view s) { return std::string(s); }));
    }
    return texts;
  }
};

using Texts = std::vector<std::string>;

TEST_F(HistoryInside, JoinsAndCleanupsAreRecordedOnceAsTheyEndAndPrivateCopiesNever) {
  create_on("Append=1\r\nAppendWith=40158\r\n");  // joined with a space
  copy("one");
  copy("two");
  // The join's own write runs the handling nested: one entry, the joined text.
  EXPECT_EQ(shown(), (Texts{"one two", "one"}));
  for (const char* marker : {"ExcludeClipboardContentFromMonitorProcessing", "Clipboard Viewer Ignore"}) {
    ASSERT_TRUE(test::set_clipboard_formats({{CF_TEXT, std::string("secret\0", 7)},
                                             {test::registered_format(marker), "1"}}));
    pump();
  }
  ASSERT_TRUE(test::set_clipboard_formats({{CF_TEXT, std::string("secret\0", 7)},
                                           {test::registered_format("CanIncludeInClipboardHistory"),
                                            std::string(4, '\0')}}));
  pump();
  EXPECT_EQ(shown(), (Texts{"one two", "one"}));
  run_command(app_.main_window, IDM_APPEND);  // off

  // The automatic cleanup's rewrite: the cleaned text only.
  run_command(app_.main_window, IDM_AUTO_CLEANUP);
  app_.settings.AutoCleanupCommand = IDM_CLEANUP_SOURCE_CODE;
  copy("code();   \r\nmore");
  EXPECT_EQ(*app_.history->model.shown_at(1)->data, "code();\r\nmore");
  EXPECT_EQ(shown().size(), 3u);
}

TEST_F(HistoryInside, ATextCommandOnAnEntryAddsItsResultAndLeavesTheEntry) {
  create_on();
  copy("first words");
  copy("later");
  const HistoryEntry before = *app_.history->model.shown_at(2);
  ASSERT_TRUE(apply_text_command_to_entry(app_, before.id, IDM_UPPER_CASE));
  pump();
  EXPECT_EQ(test::clipboard_text(), "FIRST WORDS");
  EXPECT_EQ(shown(), (Texts{"FIRST WORDS", "later", "first words"}));
  const HistoryEntry* after = app_.history->model.find(before.id);
  ASSERT_TRUE(after);
  EXPECT_EQ(*after->data, "first words");
  EXPECT_EQ(after->time, before.time);
}

TEST_F(HistoryInside, BitmapsAreRecordedAndRecalledWhole) {
  create_on();
  const std::string dib = test::make_dib(4, 2, 0xFF102030);
  ASSERT_TRUE(test::set_clipboard_data(CF_DIB, dib));
  pump();
  ASSERT_EQ(shown(), (Texts{"Bitmap 4x2"}));
  copy("text on top");
  ASSERT_TRUE(recall_history_entry(app_, app_.history->model.shown_at(2)->id).done);
  pump();
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE block = GetClipboardData(CF_DIB);
  ASSERT_TRUE(block);
  const std::string back(static_cast<const char*>(GlobalLock(block)), dib.size());
  GlobalUnlock(block);
  CloseClipboard();
  EXPECT_EQ(back, dib);
  // Recalled from the history, it is not recorded again: the order stays.
  EXPECT_EQ(shown(), (Texts{"text on top", "Bitmap 4x2"}));
}

// A copy whose privacy mark cannot be read (another program holds the
// clipboard open past the retries) is private: not shown, not cleaned up, not
// recorded.
TEST_F(HistoryInside, APrivateCopyStaysPrivateWhileTheClipboardIsBusy) {
  create_on("AutoCleanup=1\r\nAutoCleanupCommand=40011\r\n");  // Upper Case
  copy("before");
  HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    test::set_clipboard_formats({{CF_TEXT, std::string("secret\0", 7)},
                                 {test::registered_format("ExcludeClipboardContentFromMonitorProcessing"), "1"}});
    // Open again before the program looks, and held well past its retries.
    OpenClipboard(nullptr);
    SetEvent(holding);
    Sleep(700);
    CloseClipboard();
  });
  // The copy's own notice comes while the holder closes (Wine sends it then).
  while (MsgWaitForMultipleObjects(1, &holding, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) pump();
  // A notice handled while the holder has the clipboard open: nothing can be read.
  forget_handled_change(app_);
  SendMessageA(app_.main_window, WM_DRAWCLIPBOARD, 0, 0);
  holder.join();
  CloseHandle(holding);
  pump();
  EXPECT_EQ(title(), kPrivateContent);
  EXPECT_EQ(test::clipboard_text(), "secret");  // not cleaned up
  EXPECT_EQ(shown(), (Texts{"BEFORE"}));
}

// A bitmap that claims 60000x60000 pixels in 168 bytes (RLE4, whose runs and
// skips may say anything) costs the preview's pixels, not the claim's: the
// viewer, the history's list and its preview stay within a small memory.
TEST_F(HistoryInside, AHostileBitmapCostsItsPreviewNotItsClaim) {
  create_on();
  std::string dib(168, '\0');
  auto put32 = [&](std::size_t at, uint32_t v) { std::memcpy(dib.data() + at, &v, 4); };
  put32(0, 40);
  put32(4, 60000);
  put32(8, 60000);
  dib[12] = 1;   // planes
  dib[14] = 4;   // bits
  put32(16, 2);  // BI_RLE4
  put32(20, 64); // image size
  for (std::size_t i = 40 + 64; i + 1 < dib.size(); i += 2) {
    dib[i] = static_cast<char>(0xFF);  // runs of 255 pixels
    dib[i + 1] = 0x12;
  }
  dib[166] = 0, dib[167] = 1;  // end of bitmap
  put32(20, static_cast<uint32_t>(dib.size() - 104));
  PROCESS_MEMORY_COUNTERS_EX before{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof before);
  ASSERT_TRUE(test::set_clipboard_data(CF_DIB, dib));
  pump();
  ASSERT_EQ(shown(), (Texts{"Bitmap 60000x60000"}));
  RedrawWindow(app_.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  open_history_window(app_);
  pump();
  HWND window = app_.history->window ? FindWindowW(L"KestrinHistory", nullptr) : nullptr;
  ASSERT_TRUE(window);
  for (int i = 0; i < 3; ++i) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump();
  }
  PROCESS_MEMORY_COUNTERS_EX after{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof after);
  EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + (std::size_t{200} << 20));
  close_history_window(app_);
}

// Any program may post any message to the window: one of the private numbers
// with a pointer-like parameter changes nothing and costs nothing.
TEST_F(HistoryInside, PrivateMessagesFromOutsideAreNotTrusted) {
  create_on();
  copy("kept");
  for (UINT message : {WM_KESTRIN_STOCK_STATUS, WM_KESTRIN_HISTORY_LOADED, WM_KESTRIN_HISTORY_STORE,
                       WM_KESTRIN_SLOT_LABELS, WM_KESTRIN_STOCK_SCAN, WM_KESTRIN_HISTORY_FORMATS,
                       WM_KESTRIN_COMMAND_DONE, WM_KESTRIN_SYNC, WM_KESTRIN_CHANGE_READ, WM_KESTRIN_COMMAND_WRITING,
                       WM_KESTRIN_REMOTE}) {
    PostMessageW(app_.main_window, message, 0x1234, 0x12345678);
    PostMessageW(app_.main_window, message, 0, 0x12345678);
  }
  pump();
  EXPECT_TRUE(IsWindow(app_.main_window));
  EXPECT_EQ(shown(), (Texts{"kept"}));
}

// A history file of the earlier format (no record markers) loads whole and is
// rewritten in the new one; the copies after it go into the new file.
TEST_F(HistoryInside, AFileOfTheEarlierFormatIsReadAndRewritten) {
  History made;
  std::vector<HistoryRecord> log = made.add(EntryKind::AnsiText, share_bytes("from before"), 11, 1);
  for (auto& r : made.add(EntryKind::UnicodeText, share_bytes("жизнь"), 5, 2)) log.push_back(std::move(r));
  test::write_file(narrow(history_file_path()), encode_history(log, {}, 1));
  create_on();
  copy("after");
  EXPECT_EQ(shown(), (Texts{"after", "жизнь", "from before"}));
  ASSERT_TRUE(test::wait_until([&] {
    pump();
    const std::string file = test::read_file(narrow(history_file_path())).value_or("");
    return file.substr(0, 12) == history_file_header(kSealedVersion) &&
           test::read_history_file(file).records.size() == 3;
  }));
}

}  // namespace
}  // namespace kestrin
