// The [HistoryIgnore] section: rules naming copies that the history never
// keeps (a password manager's, a remote desktop's, one-time codes). One rule a
// line: "Program=keepass.exe" (the copying program's executable), "Window=*Remote
// Desktop*" (the caption of the copy's owner window or of its top-level
// window), "Text=??????" (the whole text). Patterns take `*` and `?` and
// ignore case. Platform-free.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// Whether `text` as a whole matches `pattern`: `*` any run of characters, `?`
// one character (a code point of UTF-8), everything else itself, ignoring the
// case of Latin, Greek and Cyrillic letters. Time O(text * pattern) at worst.
bool wildcard_match(std::string_view pattern, std::string_view text);

struct IgnoreRule {
  enum class Kind { Program, Window, Text };
  Kind kind;
  std::string pattern;  // UTF-8
  std::string line;     // as written
};

// Every usable line; a bad one is named in `errors` ("line: why").
std::vector<IgnoreRule> parse_ignore_rules(const std::vector<std::string>& lines,
                                           std::vector<std::string>* errors = nullptr);

// Who made a copy, when the owner could still be asked.
struct CopyOrigin {
  std::string program;                // the executable's file name, UTF-8
  std::vector<std::string> captions;  // the owner window's and its top-level window's
};

// Whether a copy is not to be kept: any rule matches. A copy whose owner is
// gone (no origin) is judged by its text alone; a copy without text by its
// origin alone.
bool ignored_copy(const std::vector<IgnoreRule>& rules, const std::optional<CopyOrigin>& origin,
                  const std::optional<std::string_view>& text_utf8);

bool rules_need_origin(const std::vector<IgnoreRule>& rules);
bool rules_need_text(const std::vector<IgnoreRule>& rules);

}  // namespace kestrin
