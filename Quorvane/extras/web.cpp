#include "extras/web.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace kestrin {

namespace {

// A small generator of its own, so that one seed gives the same text everywhere.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

std::string word(Random& random, unsigned syllables) {
  static constexpr char kConsonants[] = "bcdfghjklmnprstvz";
  static constexpr char kVowels[] = "aeiou";
  std::string w;
  for (unsigned i = 0; i < syllables; ++i) {
    w += kConsonants[random.next() % (sizeof kConsonants - 1)];
    w += kVowels[random.next() % (sizeof kVowels - 1)];
  }
  return w;
}

bool host_label_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
}

bool valid_host(std::string_view host) {
  if (host.empty() || host.size() > 253 || host.find('.') == std::string_view::npos) return false;
  std::size_t at = 0;
  bool all_digits = true;
  while (at <= host.size()) {
    const std::size_t end = std::min(host.find('.', at), host.size());
    const std::string_view label = host.substr(at, end - at);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (char c : label) {
      if (!host_label_char(c)) return false;
      if (!std::isdigit(static_cast<unsigned char>(c))) all_digits = false;
    }
    at = end + 1;
  }
  return !all_digits;  // 10.0.0.1 is an address, not a name
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string fake_email_html(uint32_t seed, unsigned count) {
  Random random(seed);
  std::string html = "<p>\r\n";
  for (unsigned i = 0; i < count; ++i) {
    const std::string address =
        word(random, 2 + random.next() % 3) + "@" + word(random, 2 + random.next() % 2) + ".invalid";
    html += "<a href=\"mailto:" + address + "\">" + address + "</a><br>\r\n";
  }
  return html + "</p>\r\n";
}

std::vector<std::string> ad_server_hosts(std::string_view text, std::size_t limit) {
  std::vector<std::string> hosts;
  std::set<std::string> seen;
  std::size_t at = 0;
  while (at < text.size() && hosts.size() < limit) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    std::size_t end = at;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    std::string_view token = text.substr(at, end - at);
    at = end;
    if (const std::size_t scheme = token.find("://"); scheme != std::string_view::npos) {
      token.remove_prefix(scheme + 3);
    }
    token = token.substr(0, token.find_first_of("/:?#"));
    if (const std::size_t user = token.find('@'); user != std::string_view::npos) {
      token.remove_prefix(user + 1);
    }
    while (!token.empty() && (token.back() == '.' || token.back() == ',' || token.back() == ';')) {
      token.remove_suffix(1);
    }
    if (!valid_host(token)) continue;
    std::string host = lower(token);
    if (seen.insert(host).second) hosts.push_back(std::move(host));
  }
  return hosts;
}

std::string hosts_file_addition(std::string_view existing, const std::vector<std::string>& hosts) {
  // The names the file maps already: every field after the first on a line,
  // up to a comment.
  std::set<std::string> named;
  std::size_t at = 0;
  while (at < existing.size()) {
    const std::size_t end = std::min(existing.find('\n', at), existing.size());
    std::string_view line = existing.substr(at, end - at);
    line = line.substr(0, line.find('#'));
    std::size_t pos = 0;
    bool first = true;
    while (pos < line.size()) {
      while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
      std::size_t stop = pos;
      while (stop < line.size() && !std::isspace(static_cast<unsigned char>(line[stop]))) ++stop;
      if (stop > pos && !first) named.insert(lower(line.substr(pos, stop - pos)));
      if (stop > pos) first = false;
      pos = stop;
    }
    at = end + 1;
  }
  std::string addition;
  for (const std::string& host : hosts) {
    if (named.insert(host).second) addition += "0.0.0.0 " + host + "\r\n";
  }
  if (!addition.empty() && !existing.empty() && existing.back() != '\n') {
    addition.insert(0, "\r\n");
  }
  return addition;
}

}  // namespace kestrin
