#include "settings_table.h"

#include <algorithm>
#include <cstdio>

namespace kestrin {

namespace {

SettingKey integer(const char* name, int32_t Settings::*member,
                   Section section = Section::Options) {
  return SettingKey{name, section, member, nullptr, 0};
}

SettingKey text(const char* name, std::string Settings::*member, std::size_t max) {
  return SettingKey{name, Section::Options, nullptr, member, max};
}

}  // namespace

const char* section_name(Section section) {
  return section == Section::Options ? "Options" : "Window";
}

const std::vector<SettingKey>& settings_read_order() {
  static const std::vector<SettingKey> keys = {
      integer("ShowStatus", &Settings::ShowStatus),
      integer("FloatingStatusWindowX", &Settings::FloatingStatusWindowX),
      integer("FloatingStatusWindowY", &Settings::FloatingStatusWindowY),
      integer("DebugClipboardTypes", &Settings::DebugClipboardTypes),
      integer("DebugLogging", &Settings::DebugLogging),
      integer("AutoFocus", &Settings::AutoFocus),
      integer("AutoShell", &Settings::AutoShell),
      integer("AutoCleanup", &Settings::AutoCleanup),
      integer("AutoCleanupCommand", &Settings::AutoCleanupCommand),
      integer("ShellSanityCheck", &Settings::ShellSanityCheck),
      integer("AutoScrollClipboard", &Settings::AutoScrollClipboard),
      integer("DisplayMainMenu", &Settings::DisplayMainMenu),
      integer("HideCaptionBar", &Settings::HideCaptionBar),
      integer("ToolWindowStyle", &Settings::ToolWindowStyle),
      integer("LeftClickViewToggle", &Settings::LeftClickViewToggle),
      integer("StatusWindow", &Settings::StatusWindow),
      integer("Append", &Settings::Append),
      integer("AppendWith", &Settings::AppendWith),
      integer("LaunchOnSave", &Settings::LaunchOnSave),
      integer("ConfirmQuit", &Settings::ConfirmQuit),
      integer("AlwaysOnTop", &Settings::AlwaysOnTop),
      integer("BeepOnChange", &Settings::BeepOnChange),
      integer("YearStart", &Settings::YearStart),
      integer("MonthStart", &Settings::MonthStart),
      integer("DateStart", &Settings::DateStart),
      integer("YearEnd", &Settings::YearEnd),
      integer("MonthEnd", &Settings::MonthEnd),
      integer("DateEnd", &Settings::DateEnd),
      integer("ModemComPort", &Settings::ModemComPort),
      integer("ColorForeground", &Settings::ColorForeground),
      integer("ColorBackground", &Settings::ColorBackground),
      integer("X1", &Settings::X1, Section::Window),
      integer("Y1", &Settings::Y1, Section::Window),
      integer("X2", &Settings::X2, Section::Window),
      integer("Y2", &Settings::Y2, Section::Window),
      integer("ClipsAutoFile", &Settings::ClipsAutoFile),
      integer("FontHeight", &Settings::FontHeight),
      text("ClipFileName", &Settings::ClipFileName, kClipFileNameMax),
      integer("DroppedFileOperation", &Settings::DroppedFileOperation),
      integer("ConsecutiveBinaryCharactersToRemove",
              &Settings::ConsecutiveBinaryCharactersToRemove),
      text("DriveMappingSource", &Settings::DriveMappingSource, kDriveMappingSourceMax),
      text("DriveMappingDestination", &Settings::DriveMappingDestination,
           kDriveMappingDestinationMax),
      text("StockServer", &Settings::StockServer, kStockServerMax),
      integer("StockConnectSeconds", &Settings::StockConnectSeconds),
      integer("StockSilenceSeconds", &Settings::StockSilenceSeconds),
      integer("History", &Settings::History),
      integer("HistoryLimit", &Settings::HistoryLimit),
      integer("HistoryMaxItemMiB", &Settings::HistoryMaxItemMiB),
      text("HistoryFormats", &Settings::HistoryFormats, kHistoryFormatsMax),
      text("HistorySyncFolder", &Settings::HistorySyncFolder, kHistorySyncFolderMax),
      integer("HistorySyncSend", &Settings::HistorySyncSend),
      integer("HistorySyncReceive", &Settings::HistorySyncReceive),
      integer("HistorySyncToClipboard", &Settings::HistorySyncToClipboard),
  };
  return keys;
}

const SettingKey* find_setting(std::string_view name) {
  for (const SettingKey& key : settings_read_order()) {
    if (name == key.name) return &key;
  }
  return nullptr;
}

const std::vector<SettingKey>& settings_write_order() {
  static const std::vector<SettingKey> keys = [] {
    static const char* const names[] = {
        "ShowStatus", "FloatingStatusWindowX", "FloatingStatusWindowY",
        "DebugClipboardTypes", "DebugLogging", "AutoCleanup", "ShellSanityCheck",
        "AutoScrollClipboard", "AutoCleanupCommand", "HideCaptionBar",
        "DisplayMainMenu", "ToolWindowStyle", "AutoShell", "LeftClickViewToggle",
        "StatusWindow", "AutoFocus", "LaunchOnSave", "BeepOnChange", "ConfirmQuit",
        "Append", "AppendWith", "AlwaysOnTop", "YearEnd", "MonthEnd", "DateEnd",
        "YearStart", "MonthStart", "DateStart", "ColorForeground", "ColorBackground",
        "ModemComPort", "ClipFileName", "ClipsAutoFile", "FontHeight",
        "ConsecutiveBinaryCharactersToRemove", "DroppedFileOperation",
        "DriveMappingSource", "DriveMappingDestination", "StockServer",
        "StockConnectSeconds", "StockSilenceSeconds", "History", "HistoryLimit",
        "HistoryMaxItemMiB", "HistoryFormats", "HistorySyncFolder", "HistorySyncSend",
        "HistorySyncReceive", "HistorySyncToClipboard"};
    std::vector<SettingKey> ordered;
    for (const char* name : names) ordered.push_back(*find_setting(name));
    return ordered;
  }();
  return keys;
}

int32_t parse_profile_int(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;  // wraps modulo 2^32 by design
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

std::string format_profile_int(int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(static_cast<uint32_t>(value)));
  return buffer;
}

int32_t corrected_drop_mode(int32_t stored) {
  switch (stored) {
    case kDropIgnores:
    case kDropReads:
    case kDropPalmDoc:
    case kDropFileNames:
      return stored;
    default:
      return kDropIgnores;
  }
}

void read_settings(Settings& settings, const ProfileReader& read) {
  for (const SettingKey& key : settings_read_order()) {
    std::optional<std::string> value = read(key.section, key.name);
    if (key.text != nullptr) {
      if (value) {
        std::string& target = settings.*key.text;
        target = std::move(*value);
        if (target.size() > key.max_length) target.resize(key.max_length);
      }
      continue;
    }
    int32_t& target = settings.*key.integer;
    if (value) {
      target = parse_profile_int(*value);
    } else if (key.integer == &Settings::AppendWith) {
      target = settings.Append;
    }
  }
  settings.DroppedFileOperation = corrected_drop_mode(settings.DroppedFileOperation);
  // The history's bounds as they are in force, so that they are written back so.
  settings.HistoryLimit = std::max<int32_t>(settings.HistoryLimit, 1);
  settings.HistoryMaxItemMiB = std::clamp<int32_t>(settings.HistoryMaxItemMiB, 1, 1024);
}

int32_t read_window_state(const ProfileReader& read) {
  std::optional<std::string> value = read(Section::Window, "State");
  return value ? parse_profile_int(*value) : 1;
}

std::vector<ProfileEntry> options_entries(const Settings& settings) {
  std::vector<ProfileEntry> entries;
  for (const SettingKey& key : settings_write_order()) {
    entries.push_back({key.section, key.name,
                       key.text ? settings.*key.text
                                : format_profile_int(settings.*key.integer)});
  }
  return entries;
}

std::vector<ProfileEntry> window_entries(const Settings& settings,
                                         bool include_window_rect) {
  std::vector<ProfileEntry> entries;
  entries.push_back({Section::Window, "State", format_profile_int(settings.State)});
  if (include_window_rect) {
    entries.push_back({Section::Window, "X1", format_profile_int(settings.X1)});
    entries.push_back({Section::Window, "Y1", format_profile_int(settings.Y1)});
    entries.push_back({Section::Window, "X2", format_profile_int(settings.X2)});
    entries.push_back({Section::Window, "Y2", format_profile_int(settings.Y2)});
  }
  return entries;
}

bool window_rect_restorable(const Settings& s, int screen_width, int screen_height) {
  auto inside = [](int32_t v, int limit) { return v > 0 && v < limit; };
  return inside(s.X1, screen_width) && inside(s.Y1, screen_height) &&
         inside(s.X2, screen_width) && inside(s.Y2, screen_height);
}

namespace {

bool same_key(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string merge_profile_section(std::string_view lines,
                                  const std::vector<ProfileEntry>& entries) {
  std::vector<bool> written(entries.size(), false);
  std::string out;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\0');
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    if (line.empty()) continue;
    const std::size_t equals = line.find('=');
    const std::string_view key = trimmed(line.substr(0, equals));
    bool replaced = false;
    if (equals != std::string_view::npos) {
      for (std::size_t i = 0; i < entries.size() && !replaced; ++i) {
        if (!written[i] && same_key(key, entries[i].key)) {
          out.append(entries[i].key).append("=").append(entries[i].value);
          written[i] = replaced = true;
        }
      }
    }
    if (!replaced) out.append(line);
    out.push_back('\0');
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!written[i]) out.append(entries[i].key).append("=").append(entries[i].value).push_back('\0');
  }
  out.push_back('\0');
  return out;
}

}  // namespace kestrin
