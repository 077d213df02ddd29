// Case-insensitive substring search over history entries, fast enough to run
// on every key press over a large history. Platform-free.
//
// Folding is simple and keeps lengths: an upper-case letter of Latin, Greek or
// Cyrillic becomes its lower-case letter when both take the same number of
// UTF-8 bytes (final sigma folds to sigma). Letters whose cases differ in
// length (the Kelvin sign, dotted capital I) stay themselves. So a match has
// the query's length in bytes, and a candidate is found by its first and last
// byte before it is checked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "history/history.h"

namespace kestrin {

char32_t fold_case(char32_t c);

// How an ANSI code page folds case, byte by byte (the platform fills it from
// the code page; bytes with no single-byte fold stay themselves).
using AnsiFold = std::array<uint8_t, 256>;
AnsiFold ascii_fold();

class TextSearch {
 public:
  // `query` is UTF-8; `ansi_query` the same in the ANSI code page, none when
  // it has no exact form there (no ANSI text can then hold it).
  TextSearch(std::string_view query, std::optional<std::string> ansi_query, const AnsiFold& fold);
  bool empty() const { return utf8_.folded.empty(); }
  // Whether the text holds the query, whatever the case.
  bool find_in(std::string_view text, bool utf8) const;
  // A text entry by its text (a clipped one by the line it kept); a bitmap by
  // its preview ("Bitmap 640x480").
  bool matches(const HistoryEntry& entry) const;

 private:
  struct Pattern {
    std::string folded;  // the query folded, in the text's encoding
    std::array<uint8_t, 256> first{};  // bytes a match may start with
    std::array<uint8_t, 256> last{};   // bytes a match may end with
    std::array<uint8_t, 4> first_few{}, last_few{};  // the same, when four or fewer
    bool few = false;
    bool usable = false;
  };
  bool verify(const Pattern& p, std::string_view text, std::size_t at, bool utf8) const;
  bool scan(const Pattern& p, std::string_view text, bool utf8) const;
  Pattern utf8_, ansi_;
  AnsiFold fold_;
};

}  // namespace kestrin
