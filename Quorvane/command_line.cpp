#include "command_line.h"

namespace kestrin {

namespace {

constexpr std::string_view kPrefix = "copyto=";

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

CommandLine parse_command_line(std::string_view raw) {
  CommandLine result;
  if (raw.empty()) return result;
  if (starts_with_ignoring_case(raw, kPrefix)) {
    result.kind = CommandLine::Kind::CopyTo;
    result.file_name = std::string(raw.substr(kPrefix.size()));
    return result;
  }
  if (raw.front() == '"' && starts_with_ignoring_case(raw.substr(1), kPrefix)) {
    // The last character is taken as the closing quote, whatever it is.
    std::string_view rest = raw.substr(1 + kPrefix.size());
    if (!rest.empty()) rest.remove_suffix(1);
    result.kind = CommandLine::Kind::CopyTo;
    result.file_name = std::string(rest);
    return result;
  }
  result.kind = CommandLine::Kind::Refused;
  return result;
}

}  // namespace kestrin
