// UTF-8 and UTF-16: conversion, validation, byte order marks, character
// counts. The one place the program and its tools handle encodings.
// Platform-free.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrin {

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates, nothing
// past U+10FFFF, no sequence cut short.
bool valid_utf8(std::string_view text);

// UTF-8 to UTF-16. Ill-formed input becomes U+FFFD, one per maximal bad part.
std::u16string utf8_to_utf16(std::string_view text);

// The UTF-16 units of well-formed UTF-8, and the conversion into a buffer of
// at least that many units (of text.size() units for any input); returns the
// units written. A long text goes through in pieces cut between characters.
std::size_t utf16_units(std::string_view utf8);
std::size_t utf8_to_utf16_into(std::string_view text, char16_t* out);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// One character of UTF-8 at `at`: its code point and its length in bytes; a
// length of 0 when the bytes there are not a well-formed character.
struct Utf8Char {
  char32_t cp = 0;
  std::size_t length = 0;
};
Utf8Char utf8_char_at(std::string_view text, std::size_t at);
// The UTF-8 bytes of a code point (1 to 4) written to `out`; their count.
std::size_t encode_utf8(char32_t cp, char* out);

// Code points in well-formed UTF-8 (each byte that does not continue a
// sequence starts one).
std::size_t count_characters(std::string_view utf8);

// Code points of 0x80 and above.
std::size_t count_non_ascii_characters(std::string_view utf8);

// The length in bytes of the first `characters` code points: never a cut one.
std::size_t utf8_prefix(std::string_view utf8, std::size_t characters);

// Whether every byte is below 0x80.
bool is_ascii(std::string_view text);
bool is_ascii(std::u16string_view text);

enum class Bom { None, Utf8, Utf16Le, Utf16Be };
// The byte order mark `bytes` start with, and its length.
Bom detect_bom(std::string_view bytes);
std::size_t bom_size(Bom bom);

// The Unicode text of a file's bytes, as UTF-8: after a UTF-8 or UTF-16 byte
// order mark, or the bytes themselves when they are well-formed UTF-8 holding
// a byte of 0x80 or above. Nothing for anything else (ASCII, or bytes in a
// code page), which CF_TEXT carries as it is.
bool decode_file_text(std::string_view bytes, std::string& utf8);

// Whether a file of this name takes its text without a byte order mark (batch
// files: cmd.exe would run the mark as part of the first command).
bool wants_no_bom(std::string_view path);

// UTF-16 in little-endian bytes and back (an odd last byte is dropped).
std::string utf16_to_bytes(std::u16string_view text, bool big_endian = false);
std::u16string bytes_to_utf16(std::string_view bytes, bool big_endian = false);

}  // namespace kestrin
