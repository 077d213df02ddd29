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

bool runs_as_program(std::string_view item, std::string_view path_ext) {
  const std::size_t slash = item.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? item : item.substr(slash + 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
    name.remove_suffix(1);  // Windows drops trailing dots and spaces
  }
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = lower(name.substr(dot));
  for (std::string_view fixed : {".lnk", ".scr", ".pif", ".msi", ".js", ".vbs", ".wsf", ".ps1",
                                 ".hta", ".reg"}) {
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
