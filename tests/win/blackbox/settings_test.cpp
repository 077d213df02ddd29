// Quorvane.INI as the real program reads and writes it.
#include <gtest/gtest.h>

#include <map>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

class SettingsFile : public ProgramTest {
 protected:

  // Starts with `ini` (none when empty), runs `during`, closes; the file after.
  std::string run_with(const std::string& ini,
                       const std::function<void(Kestrin&)>& during = {}) {
    auto run = start(ini);
    if (!run || !run->window()) return {};
    if (during) during(*run);
    EXPECT_EQ(run->close(), 0u);
    return read_file(windows_ini_path()).value_or("");
  }
};

TEST_F(SettingsFile, NoFileAtStartThenCloseWritesEveryKeyInOrder) {
  auto run = Kestrin::start();
  ASSERT_TRUE(run && run->window());
  EXPECT_FALSE(read_file(windows_ini_path()).has_value());
  // Defaults: caption, no menu bar, normal frame, not topmost.
  LONG style = GetWindowLongA(run->window(), GWL_STYLE);
  LONG ex_style = GetWindowLongA(run->window(), GWL_EXSTYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(GetMenu(run->window()), nullptr);
  EXPECT_EQ(ex_style & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), 0);
  EXPECT_NE(ex_style & WS_EX_ACCEPTFILES, 0);
  EXPECT_EQ(run->close(), 0u);

  auto ini = read_file(windows_ini_path());
  ASSERT_TRUE(ini);
  const std::vector<std::string> expected = {
      "Options/ShowStatus", "Options/FloatingStatusWindowX", "Options/FloatingStatusWindowY",
      "Options/DebugClipboardTypes", "Options/DebugLogging", "Options/AutoCleanup",
      "Options/ShellSanityCheck", "Options/AutoScrollClipboard", "Options/AutoCleanupCommand",
      "Options/HideCaptionBar", "Options/DisplayMainMenu", "Options/ToolWindowStyle",
      "Options/AutoShell", "Options/LeftClickViewToggle", "Options/StatusWindow",
      "Options/AutoFocus", "Options/LaunchOnSave", "Options/BeepOnChange",
      "Options/ConfirmQuit", "Options/Append", "Options/AppendWith", "Options/AlwaysOnTop",
      "Options/YearEnd", "Options/MonthEnd", "Options/DateEnd", "Options/YearStart",
      "Options/MonthStart", "Options/DateStart", "Options/ColorForeground",
      "Options/ColorBackground", "Options/ModemComPort", "Options/ClipFileName",
      "Options/ClipsAutoFile", "Options/FontHeight",
      "Options/ConsecutiveBinaryCharactersToRemove", "Options/DroppedFileOperation",
      "Options/DriveMappingSource", "Options/DriveMappingDestination", "Options/StockServer",
      "Options/StockConnectSeconds", "Options/StockSilenceSeconds", "Options/History",
      "Options/HistoryLimit", "Options/HistoryMaxItemMiB", "Options/HistoryFormats",
      "Options/HistorySyncFolder", "Options/HistorySyncSend", "Options/HistorySyncReceive",
      "Options/HistorySyncToClipboard", "Window/State",
      "Window/X1", "Window/Y1", "Window/X2", "Window/Y2"};
  EXPECT_EQ(ini_keys(*ini), expected);
  EXPECT_EQ(ini_value(*ini, "Options", "ColorForeground"), "65535");
  EXPECT_EQ(ini_value(*ini, "Options", "ColorBackground"), "16711680");
  EXPECT_EQ(ini_value(*ini, "Options", "ShellSanityCheck"), "5");
  EXPECT_EQ(ini_value(*ini, "Window", "State"), "1");
}

TEST_F(SettingsFile, DroppedFileOperationIsCorrectedOnLoading) {
  const std::map<std::string, std::string> cases = {
      {"1", "1"}, {"2", "0"}, {"3", "3"}, {"4", "0"}, {"5", "5"}, {"7", "0"}};
  for (const auto& [stored, expected] : cases) {
    std::string ini = run_with("[Options]\r\nDroppedFileOperation=" + stored + "\r\n");
    EXPECT_EQ(ini_value(ini, "Options", "DroppedFileOperation"), expected) << stored;
    remove_file(windows_ini_path());
  }
}

TEST_F(SettingsFile, NegativeCoordinateRoundTripsAndAnExistingFileKeepsItsOrder) {
  std::string ini = run_with(
      "[Window]\r\nState=1\r\n[Options]\r\nFloatingStatusWindowX=4294967196\r\n"
      "StatusWindow=7\r\nAppend=1\r\n");
  EXPECT_EQ(ini_value(ini, "Options", "FloatingStatusWindowX"), "4294967196");
  EXPECT_EQ(ini_value(ini, "Options", "StatusWindow"), "7");  // kept as stored
  EXPECT_EQ(ini_value(ini, "Options", "AppendWith"), "1");    // defaulted from Append
  // Keys are replaced in place; missing ones join the end of their section.
  std::vector<std::string> keys = ini_keys(ini);
  ASSERT_GE(keys.size(), 6u);
  EXPECT_EQ(keys[0], "Window/State");
  EXPECT_EQ(keys[1], "Window/X1");
  EXPECT_EQ(keys[5], "Options/FloatingStatusWindowX");
  EXPECT_EQ(keys[6], "Options/StatusWindow");
}

TEST_F(SettingsFile, LongStringsAreCutOnReading) {
  const std::string long_name(300, 'c');
  std::string ini = run_with("[Options]\r\nClipFileName=" + long_name +
                             "\r\nDriveMappingSource=" + std::string(40, 's') +
                             "\r\nDriveMappingDestination=XY\r\n");
  EXPECT_EQ(ini_value(ini, "Options", "ClipFileName"), std::string(258, 'c'));
  EXPECT_EQ(ini_value(ini, "Options", "DriveMappingSource"), std::string(25, 's'));
  EXPECT_EQ(ini_value(ini, "Options", "DriveMappingDestination"), "X");
}

TEST_F(SettingsFile, SavedRectangleIsRestoredOnlyStrictlyInsideTheScreen) {
  std::string ini = run_with("[Window]\r\nX1=120\r\nY1=90\r\nX2=520\r\nY2=390\r\n",
                             [](Kestrin& run) {
                               RECT rect{};
                               GetWindowRect(run.window(), &rect);
                               EXPECT_EQ(rect.left, 120);
                               EXPECT_EQ(rect.top, 90);
                               EXPECT_EQ(rect.right, 520);
                               EXPECT_EQ(rect.bottom, 390);
                             });
  EXPECT_EQ(ini_value(ini, "Window", "X1"), "120");
  EXPECT_EQ(ini_value(ini, "Window", "Y2"), "390");
  remove_file(windows_ini_path());

  // A left edge at 0 is not inside: the system's default placement stays.
  run_with("[Options]\r\nAlwaysOnTop=1\r\n[Window]\r\nX1=0\r\nY1=90\r\nX2=520\r\nY2=390\r\n",
           [](Kestrin& run) {
             RECT rect{};
             GetWindowRect(run.window(), &rect);
             EXPECT_FALSE(rect.left == 0 && rect.top == 90 && rect.right == 520);
             EXPECT_EQ(GetWindowLongA(run.window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
           });
}

TEST_F(SettingsFile, MaximisedWindowKeepsTheLastNormalRectangle) {
  std::string ini = run_with("[Window]\r\nX1=100\r\nY1=100\r\nX2=500\r\nY2=400\r\n",
                             [](Kestrin& run) {
                               run.post(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
                               ASSERT_TRUE(wait_until([&] { return IsZoomed(run.window()); }));
                             });
  EXPECT_EQ(ini_value(ini, "Window", "X1"), "100");
  EXPECT_EQ(ini_value(ini, "Window", "X2"), "500");
}

TEST_F(SettingsFile, ToggleCommandsAreStored) {
  std::string ini = run_with("", [](Kestrin& run) {
    for (unsigned id : {IDM_DEBUG_DISPLAY, IDM_LOG_DEBUGGING, IDM_BEEP_ON_CHANGE,
                        IDM_AUTO_FOCUS, IDM_CONFIRM_EXIT, IDM_LAUNCH_ON_SAVE,
                        IDM_SHELL_AUTOMATICALLY, IDM_AUTO_CLEANUP}) {
      ASSERT_TRUE(run.command(id)) << id;
    }
    ASSERT_TRUE(run.command(IDM_CONFIRM_EXIT));  // and back off, so the close is not asked
  });
  for (const char* key : {"DebugClipboardTypes", "DebugLogging", "BeepOnChange", "AutoFocus",
                          "LaunchOnSave", "AutoShell", "AutoCleanup"}) {
    EXPECT_EQ(ini_value(ini, "Options", key), "1") << key;
  }
  EXPECT_EQ(ini_value(ini, "Options", "ConfirmQuit"), "0");
}

TEST_F(SettingsFile, UnwritableWindowsFolderFileFallsBackToApplicationData) {
  const std::string seeded = "[Options]\r\nBeepOnChange=1\r\nShellSanityCheck=9\r\n";
  write_file(windows_ini_path(), seeded);
  ASSERT_TRUE(SetFileAttributesA(windows_ini_path().c_str(), FILE_ATTRIBUTE_READONLY));

  auto run = Kestrin::start();
  ASSERT_TRUE(run && run->window());
  ASSERT_TRUE(run->command(IDM_BEEP_ON_CHANGE));  // 1 -> 0
  EXPECT_EQ(run->close(), 0u);

  EXPECT_EQ(read_file(windows_ini_path()), seeded);
  auto own = read_file(appdata_ini_path());
  ASSERT_TRUE(own) << appdata_ini_path();
  EXPECT_EQ(ini_value(*own, "Options", "BeepOnChange"), "0");
  EXPECT_EQ(ini_value(*own, "Options", "ShellSanityCheck"), "9");  // seeded from the copy

  // The next run reads the fallback file, not the stale one.
  run = Kestrin::start();
  ASSERT_TRUE(run && run->window());
  ASSERT_TRUE(run->command(IDM_BEEP_ON_CHANGE));  // 0 -> 1
  EXPECT_EQ(run->close(), 0u);
  own = read_file(appdata_ini_path());
  ASSERT_TRUE(own);
  EXPECT_EQ(ini_value(*own, "Options", "BeepOnChange"), "1");
  EXPECT_EQ(read_file(windows_ini_path()), seeded);
}

TEST_F(SettingsFile, DebugLoggingWritesTheIniReadRecord) {
  write_file(windows_ini_path(), "[Options]\r\nDebugLogging=1\r\n");
  auto run = Kestrin::start({.debug_output = true});
  ASSERT_TRUE(run && run->window());
  ASSERT_TRUE(run->command(IDM_LOG_DEBUGGING));  // off again
  EXPECT_EQ(run->close(), 0u);
  std::vector<std::string> strings = run->debug_strings();
  auto header = std::find(strings.begin(), strings.end(), "Debug message from Quorvane@3191.");
  ASSERT_NE(header, strings.end());
  ASSERT_GE(strings.end() - header, 3);
  EXPECT_EQ(header[1], "INI file read");
  EXPECT_EQ(header[2], "\n");
  EXPECT_EQ(ini_value(read_file(windows_ini_path()).value_or(""), "Options", "DebugLogging"),
            "0");
}

TEST_F(SettingsFile, WithoutDebugLoggingNoGatedRecordIsWritten) {
  auto run = Kestrin::start({.debug_output = true});
  ASSERT_TRUE(run && run->window());
  EXPECT_EQ(run->close(), 0u);
  for (const std::string& s : run->debug_strings()) {
    EXPECT_EQ(s.find("Debug message from Quorvane@3191."), std::string::npos);
    EXPECT_EQ(s.find("Debug message from Quorvane@3303."), std::string::npos);
  }
}

}  // namespace
}  // namespace kestrin::test
