// The settings of "Quorvane.INI": every key with its section, type, default and
// length limit, the order in which they are read and written, and the rules applied
// while loading. Platform-free: the Win32 layer supplies the profile reads and writes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// Default viewer colours, COLORREF values of RGB(255,255,0) and RGB(0,0,255).
inline constexpr int32_t kDefaultForeground = 65535;
inline constexpr int32_t kDefaultBackground = 16711680;
inline constexpr int32_t kDefaultShellSanityCheck = 5;

inline constexpr std::size_t kClipFileNameMax = 258;
inline constexpr std::size_t kDriveMappingSourceMax = 25;
inline constexpr std::size_t kDriveMappingDestinationMax = 1;
inline constexpr std::size_t kStockServerMax = 255;
inline constexpr std::size_t kHistoryFormatsMax = 1024;
inline constexpr std::size_t kHistorySyncFolderMax = 1024;

// Values of DroppedFileOperation: the command identifier minus 40076.
enum DroppedFileMode : int32_t {
  kDropIgnores = 0,
  kDropReads = 1,
  kDropWrites = 2,
  kDropPalmDoc = 3,
  kDropPalmDocLaunch = 4,
  kDropFileNames = 5,
};

// One process-wide variable per key. Flags are 0 or non-zero; integers are held as
// signed 32-bit values and written as their unsigned bit pattern.
struct Settings {
  int32_t ShowStatus = 0;
  int32_t FloatingStatusWindowX = 0;
  int32_t FloatingStatusWindowY = 0;
  int32_t DebugClipboardTypes = 0;
  int32_t DebugLogging = 0;
  int32_t AutoFocus = 0;
  int32_t AutoShell = 0;
  int32_t AutoCleanup = 0;
  int32_t AutoCleanupCommand = 0;
  int32_t ShellSanityCheck = kDefaultShellSanityCheck;
  int32_t AutoScrollClipboard = 0;
  int32_t DisplayMainMenu = 0;
  int32_t HideCaptionBar = 0;
  int32_t ToolWindowStyle = 0;
  int32_t LeftClickViewToggle = 0;
  int32_t StatusWindow = 0;
  int32_t Append = 0;
  int32_t AppendWith = 0;
  int32_t LaunchOnSave = 0;
  int32_t ConfirmQuit = 0;
  int32_t AlwaysOnTop = 0;
  int32_t BeepOnChange = 0;
  int32_t YearStart = 0;
  int32_t MonthStart = 0;
  int32_t DateStart = 0;
  int32_t YearEnd = 0;
  int32_t MonthEnd = 0;
  int32_t DateEnd = 0;
  int32_t ModemComPort = 0;
  int32_t ColorForeground = kDefaultForeground;
  int32_t ColorBackground = kDefaultBackground;
  int32_t X1 = 0;
  int32_t Y1 = 0;
  int32_t X2 = 0;
  int32_t Y2 = 0;
  int32_t ClipsAutoFile = 0;
  int32_t FontHeight = 0;
  std::string ClipFileName;
  int32_t DroppedFileOperation = 0;
  int32_t ConsecutiveBinaryCharactersToRemove = 0;
  std::string DriveMappingSource;
  std::string DriveMappingDestination;
  std::string StockServer;  // "host" or "host:port" of the stock history server; none set
  int32_t StockConnectSeconds = 10;  // the stock fetch waits this long to connect
  int32_t StockSilenceSeconds = 30;  // and this long for the server's next byte
  int32_t History = 0;             // the clipboard history is kept
  int32_t HistoryLimit = 1000;     // unpinned entries kept
  int32_t HistoryMaxItemMiB = 16;  // a larger copy keeps its text (its first line) only
  std::string HistoryFormats = "*";  // the formats of a copy kept beside its text or bitmap
  std::string HistorySyncFolder;       // the folder the history is shared through (UTF-8); none
  int32_t HistorySyncSend = 1;         // this machine's copies go into the folder
  int32_t HistorySyncReceive = 1;      // the other machines' copies are read from it
  int32_t HistorySyncToClipboard = 0;  // a copy received is put on the clipboard too
  int32_t State = 1;

  bool operator==(const Settings&) const = default;
};

// What the plain toggle commands do: 0 becomes 1, anything else 0.
inline void flip_flag(int32_t& flag) { flag = flag ? 0 : 1; }

enum class Section { Options, Window };

const char* section_name(Section section);

struct SettingKey {
  const char* name;
  Section section;
  int32_t Settings::*integer;      // set for integer keys
  std::string Settings::*text;     // set for string keys
  std::size_t max_length;          // string keys only
};

// Every key but State, in the order of reading.
const std::vector<SettingKey>& settings_read_order();
// The "Options" keys in the order a new file lists them.
const std::vector<SettingKey>& settings_write_order();

// Looks a key up; returns nullptr for an unknown name.
const SettingKey* find_setting(std::string_view name);

// Answers one key of the file: nothing when the key is absent, else its text.
using ProfileReader =
    std::function<std::optional<std::string>(Section section, const char* key)>;

// Integer as the profile functions read it: optional blanks and sign, then
// decimal digits up to the first other character, taken modulo 2^32, so a
// value written with "%u" comes back as the same 32-bit pattern. No digits: 0.
int32_t parse_profile_int(std::string_view text);
// "%u" of the 32-bit pattern: -5 is written as 4294967291.
std::string format_profile_int(int32_t value);

// Read phase: every key in read order, absent keys keeping the value in memory
// (AppendWith defaulting to the Append just read), strings cut to their limits,
// then the DroppedFileOperation correction and the history's bounds brought
// into their range (HistoryLimit at least 1, HistoryMaxItemMiB 1 to 1024).
// State is not read here.
void read_settings(Settings& settings, const ProfileReader& read);

// A window must never start in a mode that writes files or launches programs.
int32_t corrected_drop_mode(int32_t stored);

// "Window"/"State" as read at start-up: default 1 when absent.
int32_t read_window_state(const ProfileReader& read);

struct ProfileEntry {
  Section section;
  std::string key;
  std::string value;
  bool operator==(const ProfileEntry&) const = default;
};

// The write phase, in order: every "Options" key, then (separately, after the
// clip file is saved) State and the window rectangle, the rectangle only when the
// window is in its normal placement.
std::vector<ProfileEntry> options_entries(const Settings& settings);
std::vector<ProfileEntry> window_entries(const Settings& settings,
                                         bool include_window_rect);

// One section of a profile file rewritten with `entries` (all of that section):
// `lines` is the section as the profile functions hand it out, one "key=value"
// line after another, each ending in a NUL. A key already there gets its new
// value in place (keys compare without regard to case, as the profile functions
// do), lines of other keys stay as they were and where they were, and keys the
// section lacks follow at its end in the order given. The result is in the same
// form, ending in two NULs, ready to be written back in one call.
std::string merge_profile_section(std::string_view lines, const std::vector<ProfileEntry>& entries);

// The saved rectangle is applied only when every coordinate lies strictly inside
// the primary screen.
bool window_rect_restorable(const Settings& settings, int screen_width,
                            int screen_height);

}  // namespace kestrin
