#include "files/shell.h"

#include <algorithm>
#include <cctype>

namespace kestrin {

namespace {

void remap_drive(std::string& item, const ShellRules& rules) {
  if (item.size() < 3 || item[1] != ':' || item[2] != '\\' || rules.from_drives.empty()) return;
  for (char letter : rules.from_drives) {
    if (static_cast<char>(item[0] | 0x20) == letter && !rules.to_drive.empty()) {
      item[0] = rules.to_drive[0];
    }
  }
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

constexpr std::string_view kProgramExtensions[] = {
    ".lnk", ".scr", ".pif", ".msi", ".js", ".vbs", ".wsf", ".ps1", ".hta", ".reg",
    ".exe", ".com", ".bat", ".cmd", ".cpl", ".msc", ".msp", ".jse", ".vbe", ".wsh", ".url"};

bool blank(char c) { return c == ' ' || c == '\t'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The scheme of a URL: letters, digits, '+', '-' or '.' before the first
// colon, starting with a letter; a single letter is a drive.
std::string_view url_scheme(std::string_view item) {
  const std::size_t colon = item.find(':');
  if (colon == std::string_view::npos || colon < 2) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = item[i];
    const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) {
      return {};
    }
  }
  return item.substr(0, colon);
}

// The path a file: URL names.
std::string file_url_path(std::string_view rest) {
  std::string decoded;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && hex_value(rest[i + 1]) >= 0 &&
        hex_value(rest[i + 2]) >= 0) {
      decoded += static_cast<char>(hex_value(rest[i + 1]) * 16 + hex_value(rest[i + 2]));
      i += 2;
    } else {
      decoded += rest[i] == '/' ? '\\' : rest[i];
    }
  }
  std::string_view path = decoded;
  std::size_t slashes = 0;
  while (slashes < path.size() && path[slashes] == '\\') ++slashes;
  path.remove_prefix(slashes);
  if (slashes >= 2 && lower(path.substr(0, 10)) == "localhost\\") path.remove_prefix(10);
  const bool drive = path.size() >= 2 && (path[1] == ':' || path[1] == '|');
  std::string out;
  if (!drive && slashes == 2) out = "\\\\";  // file://server/share: a UNC path
  out += path;
  if (drive) out[1] = ':';
  return out;
}

}  // namespace

std::vector<std::string> shell_items(std::string_view text, const ShellRules& rules) {
  std::vector<std::string> items;
  int left = rules.sanity;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n\x0C", at), text.size());
    std::string item(text.substr(at, end - at));
    const bool qualifies = item.find(':') != std::string::npos &&
                           item.find_first_of("/\\") != std::string::npos;
    if (!item.empty() && qualifies) {
      remap_drive(item, rules);
      if (left != 0) {
        items.push_back(std::move(item));
        --left;
      }
    }
    at = end + 1;
  }
  return items;
}

std::optional<std::string> shell_target(std::string_view item) {
  while (!item.empty() && blank(item.front())) item.remove_prefix(1);
  while (!item.empty() && blank(item.back())) item.remove_suffix(1);
  std::string target;
  for (char c : item) {
    if (c != '"') target += c;  // no Windows name holds a quote
  }
  const std::string_view scheme = url_scheme(target);
  if (!scheme.empty()) {
    if (lower(scheme) != "file") return std::nullopt;
    target = file_url_path(std::string_view(target).substr(scheme.size() + 1));
  }
  while (!target.empty() && (target.back() == ' ' || target.back() == '.')) target.pop_back();
  return target;
}

bool automatic_run_skips(std::string_view item, std::string_view path_ext,
                         const std::function<bool(const std::string&)>& exists) {
  const std::optional<std::string> target = shell_target(item);
  if (!target) return runs_as_program(item, path_ext);
  // A stream of a file ("a.bat:x") runs as the file would.
  std::string_view whole = *target;
  const std::size_t name_at = whole.find_last_of('\\') == std::string_view::npos
                                  ? 0
                                  : whole.find_last_of('\\') + 1;
  const std::size_t stream = whole.find(':', std::max<std::size_t>(name_at, 2));
  const std::string_view file = stream == std::string_view::npos ? whole : whole.substr(0, stream);
  if (runs_as_program(whole, path_ext) || runs_as_program(file, path_ext)) return true;
  if (exists(std::string(file))) return false;
  // The shell looks for the name with each extension a program can have.
  std::size_t at = 0;
  while (at <= path_ext.size()) {
    const std::size_t end = std::min(path_ext.find(';', at), path_ext.size());
    if (end > at && exists(std::string(file) + std::string(path_ext.substr(at, end - at)))) {
      return true;
    }
    at = end + 1;
  }
  for (std::string_view extension : kProgramExtensions) {
    if (exists(std::string(file) + std::string(extension))) return true;
  }
  return false;
}

bool runs_as_program(std::string_view item, std::string_view path_ext) {
  const std::size_t slash = item.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? item : item.substr(slash + 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
    name.remove_suffix(1);  // Windows drops trailing dots and spaces
  }
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = lower(name.substr(dot));
  for (std::string_view fixed : kProgramExtensions) {
    if (extension == fixed) return true;
  }
  const std::string list = lower(path_ext);
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t end = std::min(list.find(';', at), list.size());
    if (end > at && list.compare(at, end - at, extension) == 0) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace kestrin
