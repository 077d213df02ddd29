// The record compressor transcribed step by step as written down, with no
// cleverness: the reference the fast compressor must match byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrin::palm::plain {

inline std::vector<uint8_t> compress(std::span<const uint8_t> in) {
  const std::size_t end = in.size();
  std::vector<uint8_t> tokens;  // before the escapes are joined
  std::vector<std::size_t> escape_at;  // where each single escape token starts
  bool pending = false;
  auto literal = [&](uint8_t c) {
    auto escaped = [](uint8_t b) { return (b >= 1 && b <= 8) || b >= 0x80; };
    if (pending) {
      pending = false;
      if (c >= 0x40 && c <= 0x7F) {
        tokens.push_back(c ^ 0x80);
        return;
      }
      tokens.push_back(0x20);
    } else if (c == 0x20) {
      pending = true;
      return;
    }
    if (escaped(c)) {
      escape_at.push_back(tokens.size());
      tokens.push_back(0x01);
    }
    tokens.push_back(c);
  };
  std::size_t p = 0, e = 1, s = 0;
  while (p != end) {
    if (p - s > 2047) s = p - 2047;
    const std::size_t length = e - p;
    std::size_t q = s;
    for (;; ++q) {
      bool same = true;
      for (std::size_t k = 0; k < length && same; ++k) same = in[q + k] == in[p + k];
      if (same) break;  // q = p always matches
    }
    if (q < p && length <= 10 && e < end) {
      s = q;
    } else {
      if (length < 4) {
        literal(in[p]);
        p += 1;
      } else {
        if (pending) tokens.push_back(0x20);
        pending = false;
        const std::size_t v = 8 * (p - s) + (length - 1 - 3);
        tokens.push_back(static_cast<uint8_t>(0x80 + (v >> 8)));
        tokens.push_back(static_cast<uint8_t>(v & 0xFF));
        p = e - 1;
      }
      s = 0;
    }
    if (e < end) e += 1;
  }
  if (pending) tokens.push_back(0x20);

  // One pass joins consecutive single escapes into runs of at most 8.
  std::vector<uint8_t> out;
  std::size_t i = 0, next_escape = 0;
  while (i < tokens.size()) {
    if (next_escape < escape_at.size() && escape_at[next_escape] == i) {
      std::vector<uint8_t> run;
      while (run.size() < 8 && next_escape < escape_at.size() && escape_at[next_escape] == i) {
        run.push_back(tokens[i + 1]);
        i += 2;
        ++next_escape;
      }
      out.push_back(static_cast<uint8_t>(run.size()));
      out.insert(out.end(), run.begin(), run.end());
    } else {
      out.push_back(tokens[i++]);
    }
  }
  return out;
}

}  // namespace kestrin::palm::plain
