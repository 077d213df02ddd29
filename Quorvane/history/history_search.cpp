#include "history/history_search.h"

#include <cstring>

#include "utf.h"

#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
#include <emmintrin.h>
#endif

namespace kestrin {

namespace {

// Upper-case pairs at even code points from `first` to `last`.
bool even_pair(char32_t c, char32_t first, char32_t last) {
  return c >= first && c <= last && (c - first) % 2 == 0;
}

void set_byte(std::array<uint8_t, 256>& set, unsigned char b) { set[b] = 1; }

// Every code point that folds to what `cp` folds to (they all share its UTF-8
// length, so only the two-byte range holds more than itself).
template <typename Each>
void case_variants(char32_t cp, Each each) {
  const char32_t folded = fold_case(cp);
  each(folded);
  for (char32_t c = 0x41; c < 0x800; ++c) {
    if (c != folded && fold_case(c) == folded) each(c);
  }
}

void finish(std::array<uint8_t, 256>& set, std::array<uint8_t, 4>& few, bool& fits) {
  std::size_t n = 0;
  for (unsigned b = 0; b < 256; ++b) {
    if (!set[b]) continue;
    if (n == few.size()) {
      fits = false;
      return;
    }
    few[n++] = static_cast<uint8_t>(b);
  }
  for (std::size_t i = n; i < few.size(); ++i) few[i] = few[0];  // repeats change nothing
}

}  // namespace

char32_t fold_case(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x3BC;  // micro sign: Greek mu
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    if (even_pair(c, 0x100, 0x137) || even_pair(c, 0x14A, 0x177)) return c + 1;
    if (c >= 0x139 && c <= 0x148 && (c - 0x139) % 2 == 0) return c + 1;
    if (c >= 0x179 && c <= 0x17E && (c - 0x179) % 2 == 0) return c + 1;
    return c;
  }
  if (c >= 0x370 && c < 0x400) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 32;
    if (c == 0x3C2) return 0x3C3;  // final sigma
    // The archaic and additional letters.
    if (c == 0x370 || c == 0x372 || c == 0x376 || even_pair(c, 0x3D8, 0x3EF) || c == 0x3F7 || c == 0x3FA) {
      return c + 1;
    }
    if (c == 0x37F) return 0x3F3;
    if (c == 0x3CF) return 0x3D7;
    if (c == 0x3F4) return 0x3B8;
    if (c == 0x3F9) return 0x3F2;
    if (c >= 0x3FD) return c - 0x82;  // to 0x37B..0x37D
    return c;
  }
  if (c >= 0x400 && c < 0x530) {
    if (c <= 0x40F) return c + 80;
    if (c <= 0x42F) return c + 32;
    if (even_pair(c, 0x460, 0x481) || even_pair(c, 0x48A, 0x4BF) || even_pair(c, 0x4D0, 0x52F)) {
      return c + 1;
    }
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE && (c - 0x4C1) % 2 == 0) return c + 1;
    return c;
  }
  return c;
}

AnsiFold ascii_fold() {
  AnsiFold fold{};
  for (unsigned b = 0; b < 256; ++b) fold[b] = static_cast<uint8_t>(b >= 'A' && b <= 'Z' ? b + 32 : b);
  return fold;
}

TextSearch::TextSearch(std::string_view query, std::optional<std::string> ansi_query,
                       const AnsiFold& fold)
    : fold_(fold) {
  if (query.empty()) return;
  // UTF-8: the query folded, and the first and last bytes of every form its
  // first and last characters take.
  Pattern& u = utf8_;
  std::size_t at = 0;
  Utf8Char first{}, last{};
  bool have_first = false;
  while (at < query.size()) {
    Utf8Char d = utf8_char_at(query, at);
    char buffer[4];
    if (d.length == 0) {
      u.folded.push_back(query[at]);
      d = {static_cast<unsigned char>(query[at]), 0};
      ++at;
    } else {
      u.folded.append(buffer, encode_utf8(fold_case(d.cp), buffer));
      at += d.length;
    }
    if (!have_first) first = d;
    have_first = true;
    last = d;
  }
  auto add_forms = [](std::array<uint8_t, 256>& set, const Utf8Char& d, bool lead) {
    if (d.length == 0) {  // a stray byte matches itself
      set_byte(set, static_cast<unsigned char>(d.cp));
      return;
    }
    case_variants(d.cp, [&](char32_t c) {
      char buffer[4];
      const std::size_t n = encode_utf8(c, buffer);
      set_byte(set, static_cast<unsigned char>(lead ? buffer[0] : buffer[n - 1]));
    });
  };
  add_forms(u.first, first, true);
  add_forms(u.last, last, false);
  u.few = true;
  finish(u.first, u.first_few, u.few);
  finish(u.last, u.last_few, u.few);
  u.usable = true;

  // ANSI: byte by byte through the code page's fold.
  if (!ansi_query || ansi_query->empty()) return;
  Pattern& a = ansi_;
  for (char c : *ansi_query) a.folded.push_back(static_cast<char>(fold_[static_cast<unsigned char>(c)]));
  for (unsigned b = 0; b < 256; ++b) {
    if (fold_[b] == static_cast<unsigned char>(a.folded.front())) a.first[b] = 1;
    if (fold_[b] == static_cast<unsigned char>(a.folded.back())) a.last[b] = 1;
  }
  a.few = true;
  finish(a.first, a.first_few, a.few);
  finish(a.last, a.last_few, a.few);
  a.usable = true;
}

bool TextSearch::verify(const Pattern& p, std::string_view text, std::size_t at, bool utf8) const {
  const std::size_t n = p.folded.size();
  if (!utf8) {
    for (std::size_t i = 0; i < n; ++i) {
      if (fold_[static_cast<unsigned char>(text[at + i])] != static_cast<unsigned char>(p.folded[i])) {
        return false;
      }
    }
    return true;
  }
  const std::string_view window = text.substr(at, n);
  std::size_t i = 0;
  while (i < n) {
    const Utf8Char d = utf8_char_at(window, i);
    if (d.length == 0) {
      if (window[i] != p.folded[i]) return false;
      ++i;
      continue;
    }
    char buffer[4];
    const std::size_t length = encode_utf8(fold_case(d.cp), buffer);
    if (length != d.length || std::memcmp(buffer, p.folded.data() + i, length) != 0) return false;
    i += length;
  }
  return true;
}

bool TextSearch::scan(const Pattern& p, std::string_view text, bool utf8) const {
  const std::size_t n = p.folded.size();
  if (!p.usable || text.size() < n) return false;
  const std::size_t end = text.size() - n + 1;  // candidate starts: [0, end)
  std::size_t at = 0;
#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
  if (p.few) {
    // Sixteen starts at a time: a start is a candidate when its byte may begin
    // a match and the byte n - 1 further may end one.
    __m128i f[4], l[4];
    for (int i = 0; i < 4; ++i) {
      f[i] = _mm_set1_epi8(static_cast<char>(p.first_few[static_cast<std::size_t>(i)]));
      l[i] = _mm_set1_epi8(static_cast<char>(p.last_few[static_cast<std::size_t>(i)]));
    }
    const char* base = text.data();
    for (; at + 16 <= end; at += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at + n - 1));
      const __m128i fa = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, f[0]), _mm_cmpeq_epi8(a, f[1])),
                                      _mm_or_si128(_mm_cmpeq_epi8(a, f[2]), _mm_cmpeq_epi8(a, f[3])));
      const __m128i lb = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, l[0]), _mm_cmpeq_epi8(b, l[1])),
                                      _mm_or_si128(_mm_cmpeq_epi8(b, l[2]), _mm_cmpeq_epi8(b, l[3])));
      auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(fa, lb)));
      while (mask != 0) {
        const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
        if (verify(p, text, at + bit, utf8)) return true;
        mask &= mask - 1;
      }
    }
  }
#endif
  for (; at < end; ++at) {
    if (p.first[static_cast<unsigned char>(text[at])] &&
        p.last[static_cast<unsigned char>(text[at + n - 1])] && verify(p, text, at, utf8)) {
      return true;
    }
  }
  return false;
}

bool TextSearch::find_in(std::string_view text, bool utf8) const {
  if (empty()) return true;
  return scan(utf8 ? utf8_ : ansi_, text, utf8);
}

bool TextSearch::matches(const HistoryEntry& entry) const {
  if (empty()) return true;
  if (entry.kind == EntryKind::Bitmap) return find_in(entry_preview(entry, nullptr), true);
  return find_in(*entry.data, entry.kind == EntryKind::UnicodeText);
}

}  // namespace kestrin
