#include "settings_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestrin {
namespace {

// A profile file held in memory: "Section/Key" -> text.
struct FakeProfile {
  std::map<std::string, std::string> values;
  std::vector<std::string> asked;

  ProfileReader reader() {
    return [this](Section section, const char* key) -> std::optional<std::string> {
      std::string name = std::string(section_name(section)) + "/" + key;
      asked.push_back(name);
      auto it = values.find(name);
      if (it == values.end()) return std::nullopt;
      return it->second;
    };
  }
};

Settings read_from(FakeProfile& profile) {
  Settings settings;
  read_settings(settings, profile.reader());
  return settings;
}

TEST(SettingsRead, NoFileGivesTheDefaults) {
  FakeProfile empty;
  Settings settings = read_from(empty);
  EXPECT_EQ(settings, Settings{});
  EXPECT_EQ(settings.ColorForeground, 65535);
  EXPECT_EQ(settings.ColorBackground, 16711680);
  EXPECT_EQ(settings.ShellSanityCheck, 5);
  EXPECT_EQ(settings.DisplayMainMenu, 0);
  EXPECT_EQ(settings.HideCaptionBar, 0);
  EXPECT_EQ(settings.State, 1);
  EXPECT_EQ(read_window_state(empty.reader()), 1);
}

TEST(SettingsRead, KeysAreReadInTheirOrderAndSections) {
  FakeProfile profile;
  read_from(profile);
  const std::vector<std::string> expected = {
      "Options/ShowStatus", "Options/FloatingStatusWindowX", "Options/FloatingStatusWindowY",
      "Options/DebugClipboardTypes", "Options/DebugLogging", "Options/AutoFocus",
      "Options/AutoShell", "Options/AutoCleanup", "Options/AutoCleanupCommand",
      "Options/ShellSanityCheck", "Options/AutoScrollClipboard", "Options/DisplayMainMenu",
      "Options/HideCaptionBar", "Options/ToolWindowStyle", "Options/LeftClickViewToggle",
      "Options/StatusWindow", "Options/Append", "Options/AppendWith", "Options/LaunchOnSave",
      "Options/ConfirmQuit", "Options/AlwaysOnTop", "Options/BeepOnChange",
      "Options/YearStart", "Options/MonthStart", "Options/DateStart", "Options/YearEnd",
      "Options/MonthEnd", "Options/DateEnd", "Options/ModemComPort",
      "Options/ColorForeground", "Options/ColorBackground", "Window/X1", "Window/Y1",
      "Window/X2", "Window/Y2", "Options/ClipsAutoFile", "Options/FontHeight",
      "Options/ClipFileName", "Options/DroppedFileOperation",
      "Options/ConsecutiveBinaryCharactersToRemove", "Options/DriveMappingSource",
      "Options/DriveMappingDestination", "Options/StockServer", "Options/StockConnectSeconds",
      "Options/StockSilenceSeconds", "Options/History", "Options/HistoryLimit",
      "Options/HistoryMaxItemMiB", "Options/HistoryFormats", "Options/HistorySyncFolder",
      "Options/HistorySyncSend", "Options/HistorySyncReceive", "Options/HistorySyncToClipboard"};
  EXPECT_EQ(profile.asked, expected);
}

TEST(SettingsRead, AbsentKeysKeepTheValueInMemory) {
  FakeProfile profile;
  profile.values["Options/ConfirmQuit"] = "1";
  Settings settings;
  settings.ShellSanityCheck = 9;
  settings.ColorForeground = 123;
  read_settings(settings, profile.reader());
  EXPECT_EQ(settings.ShellSanityCheck, 9);
  EXPECT_EQ(settings.ColorForeground, 123);
  EXPECT_EQ(settings.ConfirmQuit, 1);
}

TEST(SettingsRead, AppendWithDefaultsToTheAppendJustRead) {
  FakeProfile profile;
  profile.values["Options/Append"] = "1";
  EXPECT_EQ(read_from(profile).AppendWith, 1);

  profile.values["Options/AppendWith"] = "40159";
  EXPECT_EQ(read_from(profile).AppendWith, 40159);

  FakeProfile off;
  off.values["Options/Append"] = "0";
  EXPECT_EQ(read_from(off).AppendWith, 0);
}

TEST(SettingsRead, IntegersAsTheProfileFunctionsReadThem) {
  EXPECT_EQ(parse_profile_int("42"), 42);
  EXPECT_EQ(parse_profile_int("  7"), 7);
  EXPECT_EQ(parse_profile_int("12abc"), 12);
  EXPECT_EQ(parse_profile_int("abc"), 0);
  EXPECT_EQ(parse_profile_int(""), 0);
  EXPECT_EQ(parse_profile_int("-100"), -100);
  EXPECT_EQ(parse_profile_int("+3"), 3);
  EXPECT_EQ(parse_profile_int("4294967295"), -1);
  EXPECT_EQ(parse_profile_int("4294967196"), -100);

  FakeProfile profile;
  profile.values["Options/BeepOnChange"] = "yes";
  profile.values["Options/StatusWindow"] = "7";
  Settings settings = read_from(profile);
  EXPECT_EQ(settings.BeepOnChange, 0);
  EXPECT_EQ(settings.StatusWindow, 7);  // kept as stored until something writes it
}

TEST(SettingsWrite, NegativeCoordinatesRoundTripThroughUnsignedText) {
  EXPECT_EQ(format_profile_int(-100), "4294967196");
  EXPECT_EQ(format_profile_int(0), "0");
  EXPECT_EQ(format_profile_int(16711680), "16711680");
  for (int32_t value : {-1, -100, -2147483647 - 1, 0, 1, 2147483647}) {
    EXPECT_EQ(parse_profile_int(format_profile_int(value)), value);
  }
}

TEST(SettingsRead, StringsAreCutToTheirBuffers) {
  FakeProfile profile;
  profile.values["Options/ClipFileName"] = std::string(300, 'c');
  profile.values["Options/DriveMappingSource"] = std::string(30, 's');
  profile.values["Options/DriveMappingDestination"] = "XY";
  Settings settings = read_from(profile);
  EXPECT_EQ(settings.ClipFileName, std::string(258, 'c'));
  EXPECT_EQ(settings.DriveMappingSource, std::string(25, 's'));
  EXPECT_EQ(settings.DriveMappingDestination, "X");

  profile.values["Options/ClipFileName"] = std::string(258, 'k');
  EXPECT_EQ(read_from(profile).ClipFileName, std::string(258, 'k'));
}

TEST(SettingsRead, DroppedFileOperationNeverStartsWritingOrLaunching) {
  const std::map<std::string, int32_t> cases = {
      {"0", 0}, {"1", 1}, {"2", 0}, {"3", 3}, {"4", 0}, {"5", 5}, {"6", 0}, {"7", 0},
      {"-1", 0}, {"4294967295", 0}};
  for (const auto& [stored, expected] : cases) {
    FakeProfile profile;
    profile.values["Options/DroppedFileOperation"] = stored;
    EXPECT_EQ(read_from(profile).DroppedFileOperation, expected) << stored;
  }
}

// The history's bounds come back as they are in force (a limit of -1 keeps one
// entry), never as the 32-bit pattern of a value the program does not use.
TEST(SettingsRead, HistoryBoundsAreReadAsTheyAreInForce) {
  const std::map<std::string, std::pair<int32_t, int32_t>> cases = {
      {"-1", {1, 1}}, {"0", {1, 1}}, {"4294967295", {1, 1}}, {"20", {20, 20}}, {"5000", {5000, 1024}}};
  for (const auto& [stored, expected] : cases) {
    FakeProfile profile;
    profile.values["Options/HistoryLimit"] = stored;
    profile.values["Options/HistoryMaxItemMiB"] = stored;
    const Settings read = read_from(profile);
    EXPECT_EQ(read.HistoryLimit, expected.first) << stored;
    EXPECT_EQ(read.HistoryMaxItemMiB, expected.second) << stored;
    const auto entries = options_entries(read);
    const auto max_item = std::find_if(entries.begin(), entries.end(),
                                       [](const auto& e) { return e.key == "HistoryMaxItemMiB"; });
    ASSERT_NE(max_item, entries.end());
    EXPECT_EQ(max_item->value, std::to_string(expected.second)) << stored;
  }
}

TEST(SettingsWrite, NewFileOrder) {
  Settings settings;
  settings.FloatingStatusWindowX = -20;
  settings.ClipFileName = "C:\\clips.clc";
  std::vector<std::string> keys;
  for (const ProfileEntry& entry : options_entries(settings)) {
    EXPECT_EQ(entry.section, Section::Options);
    keys.push_back(entry.key);
    if (entry.key == "FloatingStatusWindowX") {
      EXPECT_EQ(entry.value, "4294967276");
    } else if (entry.key == "ClipFileName") {
      EXPECT_EQ(entry.value, "C:\\clips.clc");
    } else if (entry.key == "ColorForeground") {
      EXPECT_EQ(entry.value, "65535");
    }
  }
  const std::vector<std::string> expected = {
      "ShowStatus", "FloatingStatusWindowX", "FloatingStatusWindowY", "DebugClipboardTypes",
      "DebugLogging", "AutoCleanup", "ShellSanityCheck", "AutoScrollClipboard",
      "AutoCleanupCommand", "HideCaptionBar", "DisplayMainMenu", "ToolWindowStyle",
      "AutoShell", "LeftClickViewToggle", "StatusWindow", "AutoFocus", "LaunchOnSave",
      "BeepOnChange", "ConfirmQuit", "Append", "AppendWith", "AlwaysOnTop", "YearEnd",
      "MonthEnd", "DateEnd", "YearStart", "MonthStart", "DateStart", "ColorForeground",
      "ColorBackground", "ModemComPort", "ClipFileName", "ClipsAutoFile", "FontHeight",
      "ConsecutiveBinaryCharactersToRemove", "DroppedFileOperation", "DriveMappingSource",
      "DriveMappingDestination", "StockServer", "StockConnectSeconds", "StockSilenceSeconds",
      "History", "HistoryLimit", "HistoryMaxItemMiB", "HistoryFormats", "HistorySyncFolder",
      "HistorySyncSend", "HistorySyncReceive", "HistorySyncToClipboard"};
  EXPECT_EQ(keys, expected);
}

TEST(SettingsWrite, WindowSectionHoldsTheRectangleOnlyWhenNormal) {
  Settings settings;
  settings.State = 0;
  settings.X1 = -8;
  settings.Y1 = 10;
  settings.X2 = 400;
  settings.Y2 = 300;
  const std::vector<ProfileEntry> with_rect = {
      {Section::Window, "State", "0"},     {Section::Window, "X1", "4294967288"},
      {Section::Window, "Y1", "10"},       {Section::Window, "X2", "400"},
      {Section::Window, "Y2", "300"}};
  EXPECT_EQ(window_entries(settings, true), with_rect);
  const std::vector<ProfileEntry> state_only = {{Section::Window, "State", "0"}};
  EXPECT_EQ(window_entries(settings, false), state_only);
}

TEST(SettingsRead, EveryKeyIsWrittenAndReadBack) {
  Settings original;
  int32_t next = -3;
  for (const SettingKey& key : settings_read_order()) {
    if (key.text) {
      original.*key.text = std::string(key.max_length, 'a');
    } else {
      original.*key.integer = next--;
    }
  }
  original.DroppedFileOperation = kDropFileNames;
  original.HistoryLimit = 5;
  original.HistoryMaxItemMiB = 7;
  FakeProfile profile;
  for (const ProfileEntry& e : options_entries(original)) {
    profile.values[std::string(section_name(e.section)) + "/" + e.key] = e.value;
  }
  for (const ProfileEntry& e : window_entries(original, true)) {
    profile.values[std::string(section_name(e.section)) + "/" + e.key] = e.value;
  }
  Settings restored;
  read_settings(restored, profile.reader());
  restored.State = original.State;
  EXPECT_EQ(restored, original);
}

// A section is written back in one piece: values replaced in place, foreign
// keys and the file's order kept, missing keys appended in the order given.
TEST(SettingsWrite, SectionMergeKeepsForeignKeysAndOrder) {
  using namespace std::string_literals;
  const std::vector<ProfileEntry> entries = {{Section::Options, "Append", "1"},
                                             {Section::Options, "BeepOnChange", "0"},
                                             {Section::Options, "AppendWith", "40159"}};
  const std::string lines = "Foreign=x\0append = 0\0;note\0BeepOnChange=1\0Other=\0"s;
  EXPECT_EQ(merge_profile_section(lines, entries),
            "Foreign=x\0Append=1\0;note\0BeepOnChange=0\0Other=\0AppendWith=40159\0\0"s);
  EXPECT_EQ(merge_profile_section("", entries),
            "Append=1\0BeepOnChange=0\0AppendWith=40159\0\0"s);
  // A key twice in the file: the first takes the value, the second stays.
  EXPECT_EQ(merge_profile_section("Append=0\0Append=5\0"s, {entries[0]}),
            "Append=1\0Append=5\0\0"s);
}

TEST(WindowRect, AppliedOnlyStrictlyInsideTheScreen) {
  auto rect = [](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Settings s;
    s.X1 = x1;
    s.Y1 = y1;
    s.X2 = x2;
    s.Y2 = y2;
    return s;
  };
  EXPECT_TRUE(window_rect_restorable(rect(10, 10, 500, 400), 1024, 768));
  EXPECT_FALSE(window_rect_restorable(rect(0, 10, 500, 400), 1024, 768));
  EXPECT_FALSE(window_rect_restorable(rect(10, 10, 1024, 400), 1024, 768));
  EXPECT_FALSE(window_rect_restorable(rect(10, 10, 500, 768), 1024, 768));
  EXPECT_FALSE(window_rect_restorable(rect(-5, 10, 500, 400), 1024, 768));
  EXPECT_FALSE(window_rect_restorable(rect(0, 0, 0, 0), 1024, 768));
  EXPECT_TRUE(window_rect_restorable(rect(1, 1, 1023, 767), 1024, 768));
}

}  // namespace
}  // namespace kestrin
