#include "history/ignore_rules.h"

#include <algorithm>

#include "history/history_search.h"

namespace kestrin {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The next code point of UTF-8 at `at` (a byte that starts no sequence is one
// character of its own), folded.
char32_t next_folded(std::string_view s, std::size_t& at) {
  const auto b = static_cast<unsigned char>(s[at]);
  std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (at + n > s.size()) n = 1;
  char32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
  for (std::size_t i = 1; i < n; ++i) {
    const auto t = static_cast<unsigned char>(s[at + i]);
    if ((t & 0xC0) != 0x80) {
      n = 1;
      c = b;
      break;
    }
    c = (c << 6) | (t & 0x3F);
  }
  at += n;
  return fold_case(c);
}

std::u32string folded(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t at = 0; at < s.size();) out.push_back(next_folded(s, at));
  return out;
}

bool same_word(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

bool wildcard_match(std::string_view pattern_utf8, std::string_view text_utf8) {
  // Without a star the text has the pattern's characters, each of 4 bytes at most.
  if (pattern_utf8.find('*') == std::string_view::npos && text_utf8.size() > 4 * pattern_utf8.size()) return false;
  const std::u32string p = folded(pattern_utf8), t = folded(text_utf8);
  // Greedy with one resume point: a later star makes every earlier choice final.
  std::size_t pi = 0, ti = 0, star = std::u32string::npos, resume = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == U'?' || (p[pi] != U'*' && p[pi] == t[ti]))) {
      ++pi;
      ++ti;
    } else if (pi < p.size() && p[pi] == U'*') {
      star = pi++;
      resume = ti;
    } else if (star != std::u32string::npos) {
      pi = star + 1;
      ti = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

std::vector<IgnoreRule> parse_ignore_rules(const std::vector<std::string>& lines, std::vector<std::string>* errors) {
  std::vector<IgnoreRule> rules;
  for (const std::string& raw : lines) {
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == ';') continue;
    auto refuse = [&](const char* why) {
      if (errors) errors->push_back(std::string(line) + ": " + why);
    };
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      refuse("no '=' between the rule's kind and its pattern");
      continue;
    }
    const std::string_view kind = trim(line.substr(0, equals));
    const std::string_view pattern = trim(line.substr(equals + 1));
    IgnoreRule rule{IgnoreRule::Kind::Program, std::string(pattern), std::string(line)};
    if (same_word(kind, "Program")) {
      rule.kind = IgnoreRule::Kind::Program;
    } else if (same_word(kind, "Window")) {
      rule.kind = IgnoreRule::Kind::Window;
    } else if (same_word(kind, "Text")) {
      rule.kind = IgnoreRule::Kind::Text;
    } else {
      refuse("the kind is not Program, Window or Text");
      continue;
    }
    if (pattern.empty()) {
      refuse("the pattern is empty");
      continue;
    }
    rules.push_back(std::move(rule));
  }
  return rules;
}

bool ignored_copy(const std::vector<IgnoreRule>& rules, const std::optional<CopyOrigin>& origin,
                  const std::optional<std::string_view>& text) {
  for (const IgnoreRule& rule : rules) {
    switch (rule.kind) {
      case IgnoreRule::Kind::Program:
        if (origin && !origin->program.empty() && wildcard_match(rule.pattern, origin->program)) return true;
        break;
      case IgnoreRule::Kind::Window:
        if (origin) {
          for (const std::string& caption : origin->captions) {
            if (wildcard_match(rule.pattern, caption)) return true;
          }
        }
        break;
      case IgnoreRule::Kind::Text:
        if (text && wildcard_match(rule.pattern, *text)) return true;
        break;
    }
  }
  return false;
}

bool rules_need_origin(const std::vector<IgnoreRule>& rules) {
  return std::any_of(rules.begin(), rules.end(), [](const IgnoreRule& r) { return r.kind != IgnoreRule::Kind::Text; });
}

bool rules_need_text(const std::vector<IgnoreRule>& rules) {
  return std::any_of(rules.begin(), rules.end(), [](const IgnoreRule& r) { return r.kind == IgnoreRule::Kind::Text; });
}

}  // namespace kestrin
