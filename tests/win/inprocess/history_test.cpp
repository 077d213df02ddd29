// The history inside the program: what a change records when joins, the
// automatic cleanup, private copies and bitmaps are in play, and a text command
// run on an entry.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "history/history_win.h"
#include "res/resource.h"
#include "run_command_win.h"
#include "wide_win.h"
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
  ASSERT_TRUE(recall_history_entry(app_, app_.history->model.shown_at(2)->id));
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

}  // namespace
}  // namespace kestrin
