// The window frame, the tray callback, the mouse, the Options dialog and the
// About box of the real program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

using Frame = ProgramTest;

HWND child_of_class(HWND parent, const char* class_name) {
  return FindWindowExA(parent, nullptr, class_name, nullptr);
}

struct FrameState {
  LONG style, ex_style;
  RECT client;
  bool operator==(const FrameState& o) const {
    return style == o.style && ex_style == o.ex_style && EqualRect(&client, &o.client);
  }
};

FrameState frame_of(HWND window) {
  FrameState f{GetWindowLongA(window, GWL_STYLE), GetWindowLongA(window, GWL_EXSTYLE), {}};
  GetClientRect(window, &f.client);
  return f;
}

TEST_F(Frame, StatusBarTwiceReturnsToTheStartingFrame) {
  auto run = start();
  const FrameState before = frame_of(run->window());
  ASSERT_TRUE(run->command(IDM_STATUS_BAR));
  HWND bar = child_of_class(run->window(), STATUSCLASSNAMEA);
  ASSERT_NE(bar, nullptr);
  // Made while running, it shows the title, not the credit line.
  char text[512] = {};
  SendMessageA(bar, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));  // crosses processes
  EXPECT_EQ(std::string(text).rfind("Kestrin by ", 0), std::string::npos) << text;
  ASSERT_TRUE(run->command(IDM_STATUS_BAR));
  EXPECT_EQ(child_of_class(run->window(), STATUSCLASSNAMEA), nullptr);
  EXPECT_TRUE(frame_of(run->window()) == before);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("StatusWindow"), "0");
  EXPECT_EQ(setting("ToolWindowStyle"), "0");
}

TEST_F(Frame, CaptionToolWindowAndMenuBar) {
  auto run = start();
  ASSERT_TRUE(run->command(IDM_HIDE_CAPTION_BAR));
  EXPECT_EQ(GetWindowLongA(run->window(), GWL_STYLE) & WS_CAPTION, 0);
  ASSERT_TRUE(run->command(IDM_HIDE_CAPTION_BAR));
  EXPECT_EQ(GetWindowLongA(run->window(), GWL_STYLE) & WS_CAPTION, WS_CAPTION);
  ASSERT_TRUE(run->command(IDM_TOOL_WINDOW_STYLE));
  const LONG ex_style = GetWindowLongA(run->window(), GWL_EXSTYLE);
  EXPECT_NE(ex_style & WS_EX_TOOLWINDOW, 0);
  EXPECT_NE(ex_style & WS_EX_ACCEPTFILES, 0);
  EXPECT_EQ(GetMenu(run->window()), nullptr);
  ASSERT_TRUE(run->command(IDM_SHOW_MENU));
  EXPECT_NE(GetMenu(run->window()), nullptr);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("DisplayMainMenu"), "1");
  EXPECT_EQ(setting("ToolWindowStyle"), "1");
}

TEST_F(Frame, WindowToBottomClearsAlwaysOnTop) {
  auto run = start();
  ASSERT_TRUE(run->command(IDM_ALWAYS_ON_TOP));
  EXPECT_NE(GetWindowLongA(run->window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  ASSERT_TRUE(run->command(IDM_WINDOW_TO_BOTTOM));
  EXPECT_EQ(GetWindowLongA(run->window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("AlwaysOnTop"), "0");
}

TEST_F(Frame, ToggleMaximisedAndVisibility) {
  auto run = start();
  ASSERT_TRUE(run->command(IDM_TOGGLE_MAXIMIZED));
  EXPECT_TRUE(IsZoomed(run->window()));
  ASSERT_TRUE(run->command(IDM_TOGGLE_MAXIMIZED));
  EXPECT_FALSE(IsZoomed(run->window()));
  run->post(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(becomes([&] { return IsIconic(run->window()) != FALSE; }, true));
  ASSERT_TRUE(run->command(IDM_TOGGLE_MAXIMIZED));  // minimised: back to normal, not maximised
  EXPECT_FALSE(IsIconic(run->window()));
  EXPECT_FALSE(IsZoomed(run->window()));

  ASSERT_TRUE(run->command(IDM_TOGGLE_VISIBILITY));
  EXPECT_FALSE(IsWindowVisible(run->window()));
  ASSERT_TRUE(run->send(WM_KESTRIN_TRAY, 0, WM_LBUTTONDOWN).has_value());  // the tray's left press
  EXPECT_TRUE(IsWindowVisible(run->window()));
  EXPECT_EQ(run->close(), 0u);
}

// The popup menu the program has open, if any.
HWND open_popup(DWORD pid) {
  for (HWND w : process_windows(pid, "#32768")) {
    if (IsWindowVisible(w)) return w;
  }
  return nullptr;
}

TEST_F(Frame, RightPressAndTrayRightClickOpenTheSameMenu) {
  auto run = start();
  RECT sizes[2] = {};
  const std::pair<UINT, LPARAM> openers[] = {{WM_RBUTTONDOWN, MAKELPARAM(10, 10)},
                                             {WM_KESTRIN_TRAY, WM_RBUTTONDOWN}};
  for (int i = 0; i < 2; ++i) {
    run->post(openers[i].first, 0, openers[i].second);
    HWND popup = nullptr;
    ASSERT_TRUE(wait_until([&] { return (popup = open_popup(run->pid())) != nullptr; }));
    GetWindowRect(popup, &sizes[i]);
    run->post(WM_CANCELMODE);  // closes the menu
    ASSERT_TRUE(wait_until([&] { return open_popup(run->pid()) == nullptr; }));
  }
  EXPECT_EQ(sizes[0].right - sizes[0].left, sizes[1].right - sizes[1].left);
  EXPECT_EQ(sizes[0].bottom - sizes[0].top, sizes[1].bottom - sizes[1].top);
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Frame, MiddlePressTogglesAppend) {
  auto run = start();
  ASSERT_TRUE(run->send(WM_MBUTTONDOWN).has_value());
  ASSERT_TRUE(run->send(WM_KESTRIN_TRAY, 0, WM_MBUTTONDOWN).has_value());
  ASSERT_TRUE(run->send(WM_MBUTTONDOWN).has_value());
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("Append"), "1");
}

TEST_F(Frame, AutoFocusEndsTheLeftClickToggle) {
  auto run = start("[Options]\r\nLeftClickViewToggle=1\r\n");
  auto click = [&] {
    ASSERT_TRUE(run->send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)).has_value());
    ASSERT_TRUE(run->send(WM_LBUTTONUP, 0, MAKELPARAM(5, 5)).has_value());
  };
  click();
  EXPECT_TRUE(IsZoomed(run->window()));
  click();
  EXPECT_FALSE(IsZoomed(run->window()));

  ASSERT_TRUE(run->command(IDM_AUTO_FOCUS));
  ASSERT_TRUE(set_clipboard_text("focus"));  // the change saves the foreground window
  ASSERT_TRUE(becomes([&] { return window_text(run->window()).find(", 5 bytes,") != std::string::npos; },
                      true));
  click();
  EXPECT_FALSE(IsZoomed(run->window()));
  EXPECT_EQ(run->close(), 0u);
}

// The Options dialog, opened and answered by the test.
class OptionsDialog {
 public:
  explicit OptionsDialog(const Kestrin& run) : run_(run) {
    run.post(WM_COMMAND, IDM_OPTIONS, 0);
    dialog_ = run.wait_for_window("Kestrin Options");
  }
  HWND get() const { return dialog_; }
  bool checked(int id) const {
    return SendMessageA(GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void click(int id) const { SendMessageA(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
  void type(int id, const char* text) const {
    SendMessageA(GetDlgItem(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  bool answer(int button) const {
    press_button(dialog_, button);
    return wait_until([&] { return !IsWindow(dialog_); }) && run_.sync();
  }

 private:
  const Kestrin& run_;
  HWND dialog_;
};

TEST_F(Frame, OptionsCancelChangesNoSetting) {
  const std::string ini = "[Options]\r\nBeepOnChange=7\r\nShellSanityCheck=9\r\n";
  auto run = start(ini);
  {
    OptionsDialog options(*run);
    ASSERT_NE(options.get(), nullptr);
    EXPECT_TRUE(options.checked(IDM_BEEP_ON_CHANGE));  // 7 shows checked
    options.click(IDM_CONFIRM_EXIT);
    options.click(IDC_OPT_FLOATING);
    options.type(IDC_OPT_SHELL_ATTEMPTS, "3");
    ASSERT_TRUE(options.answer(IDCANCEL));
  }
  EXPECT_TRUE(run->wait_for_window("Clpboard Text Information", 300) == nullptr);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("BeepOnChange"), "7");
  EXPECT_EQ(setting("ConfirmQuit"), "0");
  EXPECT_EQ(setting("ShellSanityCheck"), "9");
  EXPECT_EQ(setting("ShowStatus"), "0");
}

TEST_F(Frame, OptionsOkStoresTheDialog) {
  auto run = start("[Options]\r\nBeepOnChange=7\r\nShellSanityCheck=9\r\n");
  {
    OptionsDialog options(*run);
    ASSERT_NE(options.get(), nullptr);
    options.click(IDC_OPT_FLOATING);
    options.click(IDM_STATUS_BAR);
    options.type(IDC_OPT_SHELL_ATTEMPTS, "abc");  // not a number: the old value stays
    options.type(IDC_OPT_DRIVE_SOURCE, "C:\\very\\long\\source\\path\\beyond");
    options.type(IDC_OPT_DRIVE_DESTINATION, "DE");
    ASSERT_TRUE(options.answer(IDOK));
  }
  EXPECT_NE(run->wait_for_window("Clpboard Text Information"), nullptr);
  EXPECT_NE(child_of_class(run->window(), STATUSCLASSNAMEA), nullptr);
  {
    OptionsDialog options(*run);  // and off again
    ASSERT_NE(options.get(), nullptr);
    EXPECT_TRUE(options.checked(IDC_OPT_FLOATING));
    options.click(IDC_OPT_FLOATING);
    ASSERT_TRUE(options.answer(IDOK));
  }
  EXPECT_TRUE(becomes([&] { return run->wait_for_window("Clpboard Text Information", 50) == nullptr; },
                      true));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("BeepOnChange"), "1");  // stored back as 1
  EXPECT_EQ(setting("ShellSanityCheck"), "9");
  EXPECT_EQ(setting("StatusWindow"), "1");
  EXPECT_EQ(setting("ShowStatus"), "0");
  EXPECT_EQ(setting("DriveMappingSource").size(), 25u);
  EXPECT_EQ(setting("DriveMappingDestination"), "D");
}

// Append switched off and on in the dialog takes a new snapshot, as the menu
// command does: the next copy is not joined onto the text of the moment it was
// switched off.
TEST_F(Frame, AppendSwitchedOnInTheDialogJoinsOntoTheCurrentText) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n");
  ASSERT_TRUE(run);
  copy("first");
  auto flip_append = [&] {
    OptionsDialog options(*run);
    ASSERT_NE(options.get(), nullptr);
    options.click(IDM_APPEND);
    ASSERT_TRUE(options.answer(IDOK));
  };
  flip_append();
  copy("second");
  flip_append();
  ASSERT_TRUE(set_clipboard_text("third"));
  EXPECT_TRUE(becomes([] { return clipboard_text(); }, std::optional<std::string>("second third")));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("Append"), "1");
}

TEST_F(Frame, AboutBoxSurvivesEscapeAndForwardsItsPages) {
  auto run = start();
  run->post(WM_COMMAND, IDM_ABOUT, 0);
  HWND about = run->wait_for_window("About Kestrin");
  ASSERT_NE(about, nullptr);
  press_button(about, IDCANCEL);
  ASSERT_TRUE(run->sync());
  EXPECT_TRUE(IsWindow(about));
  // Its page buttons reach the main window, which opens the README shipped
  // beside the program (seen through a file type that records its opening).
  const std::string exe = kestrin_exe();
  const std::string readme = exe.substr(0, exe.find_last_of('\\') + 1) + "README.md";
  ASSERT_TRUE(read_file(readme).has_value());
  RegSetValueA(HKEY_CLASSES_ROOT, ".md", REG_SZ, "KestrinTestMd", 0);
  RegSetValueA(HKEY_CLASSES_ROOT, "KestrinTestMd\\shell\\open\\command", REG_SZ,
               "cmd.exe /c echo %1>\"%TEMP%\\kestrin-page.opened\"", 0);
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string opened = std::string(temp) + "kestrin-page.opened";
  remove_file(opened);
  press_button(about, IDM_KESTRIN_PAGE);
  EXPECT_TRUE(wait_until([&] { return read_file(opened).value_or("").find("README.md") !=
                                      std::string::npos; }));
  remove_file(opened);
  EXPECT_TRUE(IsWindow(about));
  press_button(about, IDOK);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(about); }));
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
