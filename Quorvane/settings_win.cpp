#include "settings_win.h"

#include <shlobj.h>

#include <vector>

#include "diagnostics_win.h"
#include "text_format.h"

namespace kestrin {

namespace {

bool file_exists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the profile functions could write `path`: an existing file must open
// for writing (and not be read-only); a missing one must be creatable.
bool writable(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
  }
  UniqueHandle probe(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                 nullptr));
  return static_cast<bool>(probe);
}

std::string windows_folder_file() {
  char folder[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return kIniName;
  std::string path(folder, n);
  if (path.back() != '\\') path += '\\';
  return path + kIniName;
}

ProfileReader profile_reader(const std::string& file) {
  return [file](Section section, const char* key) -> std::optional<std::string> {
    // A marker default tells an absent key from an empty value.
    static const char kAbsent[] = "\x01\x02" "absent";
    std::vector<char> buffer(1024);
    for (;;) {
      DWORD n = GetPrivateProfileStringA(section_name(section), key, kAbsent,
                                         buffer.data(), static_cast<DWORD>(buffer.size()),
                                         file.c_str());
      if (n + 2 < buffer.size() || buffer.size() >= (1u << 20)) {
        std::string value(buffer.data(), n);
        if (value == kAbsent) return std::nullopt;
        return value;
      }
      buffer.resize(buffer.size() * 4);
    }
  };
}

// The section as the profile functions hand it out: "key=value" lines, each
// ending in a NUL.
std::string read_section(const std::string& file, Section section) {
  std::vector<char> buffer(1 << 14);
  for (;;) {
    const DWORD n = GetPrivateProfileSectionA(section_name(section), buffer.data(),
                                              static_cast<DWORD>(buffer.size()), file.c_str());
    if (n + 2 < buffer.size() || buffer.size() >= (1u << 28)) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
}

// Each section in one write: the profile functions rewrite the whole file for
// every call, so a key at a time costs a large file's rewrite per key.
bool write_entries(const std::string& file, const std::vector<ProfileEntry>& entries) {
  bool all_written = true;
  for (Section section : {Section::Options, Section::Window}) {
    std::vector<ProfileEntry> own;
    for (const ProfileEntry& entry : entries) {
      if (entry.section == section) own.push_back(entry);
    }
    if (own.empty()) continue;
    const std::string merged = merge_profile_section(read_section(file, section), own);
    if (!WritePrivateProfileSectionA(section_name(section), merged.c_str(), file.c_str())) {
      all_written = false;
    }
  }
  return all_written;
}

}  // namespace

SettingsLocation choose_settings_location() {
  const std::string windows_file = windows_folder_file();
  if (writable(windows_file)) return {kIniName, windows_file};

  char appdata[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, appdata))) {
    return {kIniName, windows_file};
  }
  std::string folder = std::string(appdata) + "\\Kestrin";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string own_file = folder + "\\" + kIniName;
  if (!file_exists(own_file) && file_exists(windows_file)) {
    if (CopyFileA(windows_file.c_str(), own_file.c_str(), TRUE)) {
      // The copy inherits the read-only mark that sent us here.
      SetFileAttributesA(own_file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
  return {own_file, own_file};
}

void load_settings(App& app) {
  read_settings(app.settings, profile_reader(app.settings_location.profile_name));
  if (app.settings.DebugLogging) {
    debug_log(app.main_window, kUnitMain, kSiteIniRead, "INI file read");
  }
}

int32_t load_window_state(const App& app) {
  return read_window_state(profile_reader(app.settings_location.profile_name));
}

bool save_options(const App& app) {
  return write_entries(app.settings_location.profile_name, options_entries(app.settings));
}

bool save_window(const App& app, bool include_rect) {
  return write_entries(app.settings_location.profile_name,
                       window_entries(app.settings, include_rect));
}

void report_unsaved_settings(const App& app) {
  char text[MAX_PATH + 128];
  format_bounded(text, sizeof text, "Kestrin could not save its settings to %s.",
                 app.settings_location.full_path.c_str());
  MessageBoxA(nullptr, text, "Error", MB_ICONWARNING);
}

}  // namespace kestrin
