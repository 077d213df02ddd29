// The real main window, created in this process from the program's own class
// and resources, driven through its handlers.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "commands_win.h"
#include "clipboard/monitor_win.h"
#include "res/resource.h"
#include "transform/rules.h"
#include "window_fixture.h"

#include <commctrl.h>

namespace kestrin {
namespace {

using MainWindow = WindowFixture;

void collect_ids(HMENU menu, std::set<unsigned>& ids) {
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      collect_ids(sub, ids);
    } else if (UINT id = GetMenuItemID(menu, i); id != 0 && id != UINT(-1)) {
      ids.insert(id);
    }
  }
}

TEST_F(MainWindow, CreationLoadsBothMenusAndAppliesTheFrame) {
  HWND window = create();
  EXPECT_EQ(app_.main_window, window);
  EXPECT_NE(app_.frame.main_menu, nullptr);
  EXPECT_NE(app_.frame.tray_menu, nullptr);
  EXPECT_EQ(GetMenu(window), nullptr);  // detached by default
  EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  char title[128] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Clipboard is empty or contains unfamiliar format.");
  EXPECT_GT(app_.viewer.line_height, 0);
  EXPECT_TRUE(app_.frame.tray_icon_added);
  EXPECT_NE(app_.frame.splash.get(), nullptr);
}

TEST_F(MainWindow, FrameSettingsAtCreation) {
  HWND window = create(
      "[Options]\r\nHideCaptionBar=1\r\nToolWindowStyle=1\r\nDisplayMainMenu=1\r\n"
      "StatusWindow=1\r\n");
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION, 0);
  LONG ex_style = GetWindowLongA(window, GWL_EXSTYLE);
  EXPECT_NE(ex_style & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(ex_style & WS_EX_APPWINDOW, 0);  // none before, so none now
  EXPECT_EQ(GetMenu(window), app_.frame.main_menu);
  ASSERT_NE(app_.frame.status_bar, nullptr);
  EXPECT_EQ(GetDlgCtrlID(app_.frame.status_bar), IDC_STATUS_BAR);
  char credit[512] = {};
  SendMessageA(app_.frame.status_bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(credit));
  EXPECT_EQ(std::string(credit).rfind("Kestrin by ", 0), 0u) << credit;
}

TEST_F(MainWindow, SlotLabelRefreshShowsEmptyAndFilledSlots) {
  HWND window = create("[Options]\r\nDisplayMainMenu=1\r\n");
  ClipSlot& filled = app_.slots.store[3];
  filled.format = 1;
  filled.data = std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', 0};
  std::memcpy(filled.label.data(), "hello", 6);

  EXPECT_EQ(SendMessageA(window, WM_KESTRIN_SLOT_LABELS, 0, 0), 0);
  for (HMENU menu : {app_.frame.main_menu, app_.frame.tray_menu}) {
    for (int i = 0; i < kSlotCount; ++i) {
      const UINT store = IDM_STORE_FIRST + i, recall = IDM_RECALL_FIRST + i;
      const UINT store_state = GetMenuState(menu, store, MF_BYCOMMAND);
      const UINT recall_state = GetMenuState(menu, recall, MF_BYCOMMAND);
      if (i == 3) {
        EXPECT_EQ(item_text(menu, recall), "hello");
        EXPECT_EQ(item_text(menu, store), "hello");
        EXPECT_FALSE(store_state & MF_CHECKED);
        EXPECT_TRUE(recall_state & MF_CHECKED);
        EXPECT_FALSE(recall_state & (MF_GRAYED | MF_DISABLED));
      } else {
        EXPECT_EQ(item_text(menu, recall), "") << i;
        EXPECT_TRUE(store_state & MF_CHECKED) << i;
        EXPECT_FALSE(recall_state & MF_CHECKED) << i;
        EXPECT_TRUE(recall_state & MF_GRAYED) << i;
      }
    }
  }
}

// Every command the program documents stands in a menu: the tray menu, the menu
// bar, or (three of them) the menu that is never shown.
TEST_F(MainWindow, EveryCommandStandsInItsMenus) {
  create();
  std::set<unsigned> main_ids, tray_ids, hidden_ids;
  collect_ids(app_.frame.main_menu, main_ids);
  collect_ids(app_.frame.tray_menu, tray_ids);
  UniqueMenu hidden(LoadMenuA(app_.instance, MAKEINTRESOURCEA(IDR_HIDDEN_MENU)));
  collect_ids(hidden.get(), hidden_ids);

  EXPECT_EQ(hidden_ids, (std::set<unsigned>{IDM_SHELL_EXPLORE, IDM_AUTO_FOCUS,
                                            IDM_TOGGLE_ALL_VISIBILITY}));
  std::set<unsigned> documented = {
      101,   1016,  1043,  1044,  1045,  40001, 40002, 40003, 40004, 40007, 40008, 40009,
      40010, 40011, 40012, 40014, 40015, 40016, 40017, 40018, 40019, 40020, 40021, 40022,
      40023, 40024, 40025, 40026, 40027, 40028, 40029, 40030, 40031, 40032, 40033, 40034,
      40035, 40036, 40037, 40038, 40039, 40040, 40041, 40042, 40043, 40044, 40045, 40046,
      40047, 40048, 40049, 40050, 40051, 40052, 40055, 40056, 40057, 40058, 40059, 40061,
      40062, 40063, 40064, 40065, 40066, 40067, 40068, 40069, 40070, 40071, 40072, 40073,
      40074, 40076, 40077, 40078, 40079, 40080, 40081, 40082, 40083, 40084, 40085, 40089,
      40090, 40091, 40093, 40094, 40095, 40096, 40097, 40098, 40099, 40140, 40141, 40142,
      40143, 40144, 40146, 40147, 40148, 40149, 40150, 40151, 40152, 40154, 40155, 40156,
      40157, 40158, 40159, 40160, 40161, 40162, 40163, 40164, 40165, 40166, 40167, 40168,
      40169, 40180, 40181, 40182, 40183, 40185, 40186, 40187};
  for (unsigned id = IDM_STORE_FIRST; id <= IDM_RECALL_LAST; ++id) documented.insert(id);
  // The history's items (sharing it too), and Cancel of a long command, in both menus.
  for (unsigned id : {IDM_KEEP_HISTORY, IDM_SHARE_HISTORY, IDM_HISTORY, IDM_CLEAR_HISTORY, IDM_CANCEL_COMMAND}) {
    documented.insert(id);
    EXPECT_EQ(main_ids.count(id), 1u) << id;
    EXPECT_EQ(tray_ids.count(id), 1u) << id;
  }
  std::set<unsigned> shown = main_ids;
  shown.insert(tray_ids.begin(), tray_ids.end());
  EXPECT_EQ(shown, documented);

  // The tray menu has no "Automatically Load/Save Clip files"; 40084 is the
  // Options menu's own "&Append".
  EXPECT_EQ(tray_ids.count(IDM_AUTO_CLIP_FILE), 0u);
  EXPECT_EQ(tray_ids.count(IDM_APPEND_OPTIONS), 0u);
  EXPECT_EQ(main_ids.count(IDM_APPEND_OPTIONS), 1u);
  EXPECT_EQ(item_text(app_.frame.main_menu, IDM_FORWARD_TO_REVERSE_SLASHES),
            "Forward slashes (/) with Reverse slashes (\\)");
  EXPECT_EQ(item_text(app_.frame.main_menu, IDM_NEW_LINES_TO_FF),
            "New Lines (Carriage Returns && Line Feeds) to Form Feeds");  // shown with one &
}

// Every item of every menu resource is served by exactly one row of the command
// table or one text rule, and every row and rule serves an item: a command added
// to the resource script without its handling, or handled twice, fails here.
TEST_F(MainWindow, EveryMenuItemHasExactlyOneHandlerOrRule) {
  create();
  std::set<unsigned> items;
  collect_ids(app_.frame.main_menu, items);
  collect_ids(app_.frame.tray_menu, items);
  UniqueMenu hidden(LoadMenuA(app_.instance, MAKEINTRESOURCEA(IDR_HIDDEN_MENU)));
  collect_ids(hidden.get(), items);

  std::set<unsigned> served;
  for (unsigned id : items) {
    std::size_t rows = find_text_command(id) ? 1 : 0;
    for (const CommandEntry& row : command_table()) rows += row.first <= id && id <= row.last;
    EXPECT_EQ(rows, 1u) << "menu item " << id;
    if (find_text_command(id)) {
      EXPECT_EQ(find_text_command(id)->menu_text, item_text(app_.frame.main_menu, id)) << id;
    } else {
      EXPECT_NE(find_command(id), nullptr) << id;
    }
  }
  for (const CommandEntry& row : command_table()) {
    for (unsigned id = row.first; id <= row.last; ++id) {
      EXPECT_EQ(items.count(id), 1u) << "row without a menu item: " << id;
    }
  }
  std::size_t count = 0;
  const TextCommand* rules = text_commands(count);
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_EQ(items.count(rules[i].id), 1u) << "rule without a menu item: " << rules[i].name;
  }
  EXPECT_EQ(find_command(0), nullptr);
  EXPECT_EQ(find_command(40999), nullptr);
}

TEST_F(MainWindow, PlainTogglesFlipOnlyTheirFlag) {
  HWND window = create();
  const Settings before = app_.settings;
  SendMessageA(window, WM_COMMAND, IDM_BEEP_ON_CHANGE, 0);
  EXPECT_EQ(app_.settings.BeepOnChange, 1);
  SendMessageA(window, WM_COMMAND, IDM_BEEP_ON_CHANGE, 0);
  EXPECT_EQ(app_.settings, before);

  app_.settings.AutoFocus = 7;  // any non-zero value counts as on
  SendMessageA(window, WM_COMMAND, IDM_AUTO_FOCUS, 0);
  EXPECT_EQ(app_.settings.AutoFocus, 0);
}

TEST_F(MainWindow, SplashIsDestroyedAtTheSixthTick) {
  HWND window = create();
  HWND splash = app_.frame.splash.get();
  ASSERT_NE(splash, nullptr);
  // The change handling at creation already ran one tick.
  EXPECT_EQ(app_.frame.tick_count, 1u);
  while (app_.frame.tick_count < 5) SendMessageA(window, WM_TIMER, kTrayTimerId, 0);
  EXPECT_TRUE(IsWindow(splash));
  SendMessageA(window, WM_TIMER, kTrayTimerId, 0);
  EXPECT_FALSE(IsWindow(splash));
  EXPECT_EQ(app_.frame.tick_count, 6u);
}

TEST_F(MainWindow, ViewerChainFollowsTheRemovalRules) {
  HWND window = create();
  HWND first = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  HWND second = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  app_.monitor->next_viewer = first;
  // Our next viewer leaves: its successor becomes ours.
  SendMessageA(window, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(first),
               reinterpret_cast<LPARAM>(second));
  EXPECT_EQ(app_.monitor->next_viewer, second);
  // Another one leaves: passed on, ours stays.
  SendMessageA(window, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(first), 0);
  EXPECT_EQ(app_.monitor->next_viewer, second);
  app_.monitor->next_viewer = nullptr;
  DestroyWindow(first);
  DestroyWindow(second);
}

}  // namespace
}  // namespace kestrin
