#include "utf.h"

namespace kestrin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `at`; advances past it. Ill-formed: returns
// U+FFFD and advances past the longest ill-formed part (at least one byte).
char32_t decode(std::string_view s, std::size_t& at, bool& ok) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(at);
  ok = true;
  if (b0 < 0x80) {
    ++at;
    return b0;
  }
  std::size_t length = 0;
  char32_t cp = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;   // no overlong forms
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    ok = false;
    ++at;
    return kReplacement;
  }
  std::size_t i = 1;
  for (; i < length; ++i) {
    if (at + i >= s.size()) break;
    const unsigned char b = byte(at + i);
    if (i == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) break;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (i < length) {
    ok = false;
    at += i;
    return kReplacement;
  }
  at += length;
  return cp;
}

bool continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

Utf8Char utf8_char_at(std::string_view text, std::size_t at) {
  if (at >= text.size()) return {};
  std::size_t next = at;
  bool ok = true;
  const char32_t cp = decode(text, next, ok);
  return ok ? Utf8Char{cp, next - at} : Utf8Char{};
}

std::size_t encode_utf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

bool valid_utf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    // Runs of ASCII are the common case.
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    bool ok = true;
    decode(text, at, ok);
    if (!ok) return false;
  }
  return true;
}

std::size_t utf16_units(std::string_view utf8) {
  std::size_t units = 0;
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    units += (b & 0xC0) != 0x80 ? 1 : 0;
    units += b >= 0xF0 ? 1 : 0;
  }
  return units;
}

std::size_t utf8_to_utf16_into(std::string_view text, char16_t* out) {
  char16_t* o = out;
  std::size_t at = 0;
  while (at < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) {
      *o++ = static_cast<char16_t>(b);
      ++at;
      continue;
    }
    bool ok = true;
    const char32_t cp = decode(text, at, ok);
    if (cp >= 0x10000) {
      *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
  }
  return static_cast<std::size_t>(o - out);
}

std::u16string utf8_to_utf16(std::string_view text) {
  // At most one unit per byte: written through a pointer, then cut to size.
  // For well-formed text the size is known: its characters, and one more unit
  // for each of four bytes.
  std::u16string out(valid_utf8(text) ? utf16_units(text) : text.size(), u'\0');
  out.resize(utf8_to_utf16_into(text, out.data()));
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  // The exact size first: the buffer is touched once, at its final size.
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0x80) {
      bytes += 1;
    } else if (u < 0x800) {
      bytes += 2;
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;
    }
  }
  std::string out(bytes, '\0');
  char* o = out.data();
  auto put = [&o](char32_t cp) {
    if (cp < 0x800) {
      *o++ = static_cast<char>(0xC0 | (cp >> 6));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (cp >> 12));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (cp >> 18));
      *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0x80) {
      *o++ = static_cast<char>(u);
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      put(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
          (static_cast<char32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      put(kReplacement);
    } else {
      put(u);
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::size_t count_characters(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8) n += continues(c) ? 0 : 1;
  return n;
}

std::size_t count_non_ascii_characters(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) >= 0xC0) ? 1 : 0;
  return n;
}

std::size_t utf8_prefix(std::string_view utf8, std::size_t characters) {
  std::size_t at = 0, seen = 0;
  while (at < utf8.size()) {
    if (!continues(utf8[at])) {
      if (seen == characters) break;
      ++seen;
    }
    ++at;
  }
  return at;
}

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool is_ascii(std::u16string_view text) {
  for (char16_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

Bom detect_bom(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Bom::Utf8;
  if (bytes.substr(0, 2) == "\xFF\xFE") return Bom::Utf16Le;
  if (bytes.substr(0, 2) == "\xFE\xFF") return Bom::Utf16Be;
  return Bom::None;
}

std::size_t bom_size(Bom bom) {
  switch (bom) {
    case Bom::Utf8: return 3;
    case Bom::Utf16Le:
    case Bom::Utf16Be: return 2;
    case Bom::None: break;
  }
  return 0;
}

bool decode_file_text(std::string_view bytes, std::string& utf8) {
  const Bom bom = detect_bom(bytes);
  const std::string_view body = bytes.substr(bom_size(bom));
  switch (bom) {
    case Bom::Utf8:
      utf8 = valid_utf8(body) ? std::string(body) : utf16_to_utf8(utf8_to_utf16(body));
      return true;
    case Bom::Utf16Le:
    case Bom::Utf16Be:
      utf8 = utf16_to_utf8(bytes_to_utf16(body, bom == Bom::Utf16Be));
      return true;
    case Bom::None:
      break;
  }
  if (is_ascii(bytes) || !valid_utf8(bytes)) return false;
  utf8.assign(bytes);
  return true;
}

bool wants_no_bom(std::string_view path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || path.find_first_of("\\/", dot) != std::string_view::npos) {
    return false;
  }
  std::string extension(path.substr(dot));
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return extension == ".bat" || extension == ".cmd";
}

std::string utf16_to_bytes(std::u16string_view text, bool big_endian) {
  std::string out(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char lo = static_cast<char>(text[i] & 0xFF), hi = static_cast<char>(text[i] >> 8);
    out[2 * i] = big_endian ? hi : lo;
    out[2 * i + 1] = big_endian ? lo : hi;
  }
  return out;
}

std::u16string bytes_to_utf16(std::string_view bytes, bool big_endian) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]);
    const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
    out[i] = static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
  }
  return out;
}

}  // namespace kestrin
