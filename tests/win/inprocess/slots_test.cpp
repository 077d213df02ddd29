// The twenty slots in the real main window: store and recall through the
// clipboard, their menu items, the orderings, and recall in append mode.
#include <gtest/gtest.h>

#include "clipboard/change_win.h"
#include "clipboard/monitor_win.h"
#include "res/resource.h"
#include "slots/clip_file.h"
#include "slots/slots.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

using Slots = WindowFixture;

std::optional<std::string> clipboard_block(UINT format) {
  if (!OpenClipboard(nullptr)) return std::nullopt;
  std::optional<std::string> bytes;
  if (HANDLE handle = GetClipboardData(format)) {
    if (const char* data = static_cast<const char*>(GlobalLock(handle))) {
      bytes.emplace(data, GlobalSize(handle));
      GlobalUnlock(handle);
    }
  }
  CloseClipboard();
  return bytes;
}

// Store a text with slack and a bitmap, recall each: the clipboard gets back the
// whole blocks byte for byte, and both menus show the labels and filled states.
TEST_F(Slots, StoreAndRecallTextAndBitmapWholeBlocks) {
  HWND window = create("[Options]\r\nDisplayMainMenu=1\r\n");
  const std::string text = std::string(70, 'L') + '\0' + "slack" + '\0';
  ASSERT_TRUE(test::set_clipboard_data(CF_TEXT, text));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST + 2, 0);
  const std::string dib = test::make_dib(3, 2, 0x00FF8040);
  ASSERT_TRUE(test::set_clipboard_formats({{CF_DIB, dib}}));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST + 5, 0);

  ASSERT_TRUE(app_.slots.store[2].filled());
  const std::vector<uint8_t>& stored = *app_.slots.store[2].data;
  EXPECT_EQ(std::string(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(text.size())),
            text);  // the whole block, slack after the NUL included
  EXPECT_EQ(app_.slots.store[2].format, kSlotText);
  EXPECT_EQ(app_.slots.store[5].format, kSlotBitmap);
  for (HMENU menu : {app_.frame.main_menu, app_.frame.tray_menu}) {
    EXPECT_EQ(item_text(menu, IDM_RECALL_FIRST + 2), std::string(64, 'L'));
    EXPECT_EQ(item_text(menu, IDM_STORE_FIRST + 2), std::string(64, 'L'));
    EXPECT_EQ(item_text(menu, IDM_RECALL_FIRST + 5), "");
    for (UINT i : {2u, 5u}) {
      EXPECT_FALSE(GetMenuState(menu, IDM_STORE_FIRST + i, MF_BYCOMMAND) & MF_CHECKED);
      EXPECT_FALSE(GetMenuState(menu, IDM_RECALL_FIRST + i, MF_BYCOMMAND) & MF_GRAYED);
    }
  }

  ASSERT_TRUE(test::empty_clipboard());
  pump();
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST + 2, 0);
  pump();
  const auto recalled = clipboard_block(CF_TEXT);
  ASSERT_TRUE(recalled);
  EXPECT_EQ(recalled->substr(0, text.size()), text);
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST + 5, 0);
  pump();
  const auto bitmap = clipboard_block(CF_DIB);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->substr(0, dib.size()), dib);
  EXPECT_EQ(app_.slots.store[5].times_used, 1u);

  // Recalling an empty slot leaves the clipboard alone.
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST + 9, 0);
  EXPECT_EQ(clipboard_block(CF_DIB)->substr(0, dib.size()), dib);

  // A store while the clipboard holds neither text nor a bitmap empties the
  // slot, and its items say so at once.
  ASSERT_TRUE(test::set_clipboard_data(test::registered_format("Kestrin test"), "x"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST + 2, 0);
  EXPECT_FALSE(app_.slots.store[2].filled());
  EXPECT_TRUE(GetMenuState(app_.frame.tray_menu, IDM_RECALL_FIRST + 2, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(GetMenuState(app_.frame.tray_menu, IDM_STORE_FIRST + 2, MF_BYCOMMAND) & MF_CHECKED);
}

TEST_F(Slots, OrderingMovesRecordsAndTheMenusFollow) {
  HWND window = create();
  for (const char* text : {"banana", "Apple", "cherry"}) {
    ASSERT_TRUE(test::set_clipboard_text(text));
    pump();
    SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST + (text[0] == 'b' ? 0 : text[0] == 'A' ? 1 : 2), 0);
  }
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST + 2, 0);
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST + 2, 0);
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST + 0, 0);
  pump();
  SendMessageA(window, WM_COMMAND, IDM_SORT_TIMES_USED, 0);
  EXPECT_EQ(item_text(app_.frame.tray_menu, IDM_RECALL_FIRST + 0), "cherry");
  EXPECT_EQ(item_text(app_.frame.tray_menu, IDM_RECALL_FIRST + 1), "banana");
  EXPECT_EQ(item_text(app_.frame.tray_menu, IDM_RECALL_FIRST + 2), "Apple");
  SendMessageA(window, WM_COMMAND, IDM_SORT_ALPHABETICALLY, 0);
  EXPECT_EQ(item_text(app_.frame.tray_menu, IDM_RECALL_FIRST + 0), "Apple");
  EXPECT_EQ(item_text(app_.frame.tray_menu, IDM_STORE_FIRST + 2), "cherry");
  EXPECT_TRUE(GetMenuState(app_.frame.tray_menu, IDM_RECALL_FIRST + 3, MF_BYCOMMAND) & MF_GRAYED);
}

// A recall is a copy like any other: in append mode the recalled text is joined.
TEST_F(Slots, RecallInAppendModeIsJoined) {
  ASSERT_TRUE(test::set_clipboard_text("kept"));
  HWND window = create("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n");
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST, 0);
  ASSERT_TRUE(test::set_clipboard_text("next"));
  pump();
  EXPECT_EQ(test::clipboard_text(), "kept next");
  SendMessageA(window, WM_COMMAND, IDM_RECALL_FIRST, 0);
  pump();
  EXPECT_EQ(test::clipboard_text(), "kept next kept");
  EXPECT_EQ(app_.monitor->self_change, 0);
}

// Another program's Unicode block of an odd size (23 bytes) is stored as whole
// UTF-16 units, so that the clip file holding it loads again.
TEST_F(Slots, AnOddSizedUnicodeBlockIsStoredInWholeUnits) {
  HWND window = create();
  std::u16string text = u"жизнь ok";
  std::string block(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  block += std::string("\0\0\x7F", 3);  // NUL, and one stray byte after it
  ASSERT_EQ(block.size() % 2, 1u);
  ASSERT_TRUE(test::set_clipboard_data(CF_UNICODETEXT, block));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST, 0);
  const ClipSlot& slot = app_.slots.store[0];
  ASSERT_TRUE(slot.filled());
  EXPECT_EQ(slot.format, kSlotUnicode);
  EXPECT_EQ(slot.data->size() % 2, 0u);
  const std::vector<uint8_t> file = clip_file_bytes(app_.slots.store);
  const ClipFileRead back = read_clip_file(file);
  EXPECT_EQ(back.refused, 0u);
  ASSERT_TRUE(back.slots[0].filled());
  EXPECT_EQ(back.slots[0].label_text(), "жизнь ok");
}

}  // namespace
}  // namespace kestrin
