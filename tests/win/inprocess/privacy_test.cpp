// Copies marked private (password managers mark theirs) are seen but never
// shown, joined, cleaned, shelled or saved by the automatic clip file.
#include <gtest/gtest.h>

#include "clipboard/analysis.h"
#include "clipboard/monitor_win.h"
#include "res/resource.h"
#include "slots/clip_file.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

using Privacy = WindowFixture;

bool copy_marked(const std::string& text, const char* marker, const std::string& value = "1") {
  return test::set_clipboard_formats(
      {{CF_TEXT, text + '\0'}, {test::registered_format(marker), value}});
}

TEST_F(Privacy, EachMarkerHidesTheCopyAndAppendModePassesItBy) {
  ASSERT_TRUE(test::set_clipboard_text("a"));
  create("[Options]\r\nAppend=1\r\nAppendWith=40158\r\nAutoCleanup=1\r\n"
         "AutoCleanupCommand=40064\r\n");
  pump();
  const std::string zero("\0\0\0\0", 4), one("\1\0\0\0", 4);
  struct Marker {
    const char* name;
    std::string value;
  };
  for (const Marker& m : {Marker{"ExcludeClipboardContentFromMonitorProcessing", "1"},
                          Marker{"Clipboard Viewer Ignore", "1"},
                          Marker{"CanIncludeInClipboardHistory", zero}}) {
    ASSERT_TRUE(copy_marked("secret   ", m.name, m.value));
    pump();
    EXPECT_EQ(test::clipboard_text(), "secret   ") << m.name;  // neither joined nor cleaned
    EXPECT_EQ(title(), kPrivateContent) << m.name;
    EXPECT_EQ(app_.monitor->analysis.size, 0u) << m.name;
    RedrawWindow(app_.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  // History allowed is no marker: this copy is joined, onto the text as it
  // stood before the private ones.
  ASSERT_TRUE(copy_marked("b", "CanIncludeInClipboardHistory", one));
  pump();
  EXPECT_EQ(test::clipboard_text(), "a b");
  EXPECT_NE(title(), kPrivateContent);
}

TEST_F(Privacy, ThePrivateSlotIsStoredByHandButNotSavedAutomatically) {
  const std::string clips = test::temp_dir() + "\\auto.clc";
  const std::vector<uint8_t> empty = clip_file_bytes(SlotArray{});
  test::write_file(clips, std::string(empty.begin(), empty.end()));  // loaded at creation
  HWND window = create("[Options]\r\nClipsAutoFile=1\r\nClipFileName=" + clips + "\r\n");
  ASSERT_TRUE(copy_marked("password", "ExcludeClipboardContentFromMonitorProcessing"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST, 0);
  ASSERT_TRUE(test::set_clipboard_text("ordinary"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST + 1, 0);
  EXPECT_TRUE(app_.slots.store[0].filled());  // by hand it works

  const std::string bytes = test::read_file(clips).value_or("");
  const ClipFileRead saved =
      read_clip_file({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  ASSERT_TRUE(saved.header);
  EXPECT_FALSE(saved.slots[0].filled());
  EXPECT_EQ(saved.slots[1].label_text(), "ordinary");

  ASSERT_TRUE(test::empty_clipboard());
  pump();
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST, 0);  // recall by hand works too
  pump();
  EXPECT_EQ(test::clipboard_text(), "password");
}

}  // namespace
}  // namespace kestrin
