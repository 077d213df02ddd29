#include "transform/rules.h"

#include <array>
#include <cstring>

#include "res/resource.h"
#include "text_format.h"

#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
#include <emmintrin.h>
#if defined(__GNUC__)
#include <tmmintrin.h>  // SSSE3, used only where the processor has it
#endif
#endif

namespace kestrin {

namespace {

constexpr char CR = '\r', LF = '\n', FF = '\x0C', SP = ' ', TAB = '\t';

bool is_white(char c) { return c == SP || c == TAB; }

constexpr TextCommand kCommands[] = {
    {IDM_REVERSE_CASE, RuleKind::SameLength, "reverse-case", "Reverse Case", Needs::Text},
    {IDM_LOWER_CASE, RuleKind::SameLength, "lower-case", "Lower Case", Needs::Text},
    {IDM_UPPER_CASE, RuleKind::SameLength, "upper-case", "Upper Case", Needs::Text},
    {IDM_PHONE_NUMBER, RuleKind::SameLength, "phone-number", "Phone Number", Needs::Text},
    {IDM_CR_TO_LF, RuleKind::SameLength, "cr-to-lf", "Carriage Returns to Line Feeds", Needs::Cr},
    {IDM_LF_TO_CR, RuleKind::SameLength, "lf-to-cr", "Line Feeds to Carriage Returns", Needs::Lf},
    {IDM_CR_TO_FF, RuleKind::SameLength, "cr-to-ff", "Carriage Returns to Form Feeds", Needs::Cr},
    {IDM_FF_TO_CR, RuleKind::SameLength, "ff-to-cr", "Form Feeds to Carriage Returns", Needs::Ff},
    {IDM_FF_TO_LF, RuleKind::SameLength, "ff-to-lf", "Form Feeds to Line Feeds", Needs::Ff},
    {IDM_LF_TO_FF, RuleKind::SameLength, "lf-to-ff", "Line Feeds to Form Feeds", Needs::Lf},
    {IDM_NEW_LINES_TO_FF, RuleKind::Shrinking, "new-lines-to-ff",
     "New Lines (Carriage Returns && Line Feeds) to Form Feeds", Needs::CrOrLf},
    {IDM_FF_TO_NEW_LINES, RuleKind::Growing, "ff-to-new-lines",
     "Form Feeds to New Lines (Carriage Returns && Line Feeds)", Needs::Ff},
    {IDM_FF_TO_SPACE, RuleKind::SameLength, "ff-to-spaces", "Form Feeds to Spaces", Needs::Ff},
    {IDM_CR_TO_SPACE, RuleKind::SameLength, "cr-to-spaces", "Carriage Returns to Spaces", Needs::Cr},
    {IDM_LF_TO_SPACE, RuleKind::SameLength, "lf-to-spaces", "Line Feeds to Spaces", Needs::Lf},
    {IDM_NEW_LINES_TO_SPACES, RuleKind::Shrinking, "new-lines-to-spaces",
     "New Lines (Carriage Returns and  Line Feeds) to Spaces", Needs::CrAndLf},
    {IDM_SPACE_TO_CR, RuleKind::SameLength, "spaces-to-cr", "Spaces to Carriage Returns", Needs::Spaces},
    {IDM_SPACE_TO_LF, RuleKind::SameLength, "spaces-to-lf", "Spaces to Line Feeds", Needs::Spaces},
    {IDM_SPACE_TO_FF, RuleKind::SameLength, "spaces-to-ff", "Spaces to Form Feeds", Needs::Spaces},
    {IDM_SPACES_TO_NEW_LINES, RuleKind::Growing, "spaces-to-new-lines",
     "Spaces to New Lines (Carriage Returns and Line Feeds)", Needs::Spaces},
    {IDM_FORWARD_TO_REVERSE_SLASHES, RuleKind::SameLength, "forward-to-reverse-slashes",
     "Forward slashes (/) with Reverse slashes (\\)", Needs::Slash},
    {IDM_REVERSE_TO_FORWARD_SLASHES, RuleKind::SameLength, "reverse-to-forward-slashes",
     "Reverse slashes (\\) with Forward slashes (/)", Needs::Backslash},
    {IDM_FLIP_SLASHES, RuleKind::SameLength, "flip-slashes", "Flip slashes", Needs::AnySlash},
    {IDM_STAMP_COMPACT, RuleKind::Stamp, "date-time-compact", "Date and Time (YYYYMMDDhhmmss)", Needs::Nothing},
    {IDM_STAMP_SLASHED, RuleKind::Stamp, "date-time", "Date and Time (YYYY//MM/DD hh:mm:ss)", Needs::Nothing},
    {IDM_EXCESS_FF, RuleKind::Shrinking, "excess-ff", "Excess Form Feeds", Needs::Ff},
    {IDM_EXCESS_NEW_LINES, RuleKind::Shrinking, "excess-new-lines",
     "Excess New Lines (Carriage Returns and Line Feeds)", Needs::CrAndLf},
    {IDM_EXCESS_NEW_LINES_LEAVE_ONE, RuleKind::Shrinking, "excess-new-lines-leaving-one",
     "Excess New Lines (Carriage Returns and Line Feeds), leaving one", Needs::CrAndLf},
    {IDM_EXCESS_CR, RuleKind::Shrinking, "excess-cr", "Excess Carriage Returns", Needs::Cr},
    {IDM_EXCESS_LF, RuleKind::Shrinking, "excess-lf", "Excess Line Feeds", Needs::Lf},
    {IDM_EXCESS_SPACES, RuleKind::Shrinking, "excess-spaces", "Excess Spaces", Needs::Spaces},
    {IDM_REMOVE_FF, RuleKind::Shrinking, "remove-ff", "Form Feeds", Needs::Ff},
    {IDM_REMOVE_NEW_LINES, RuleKind::Shrinking, "remove-new-lines",
     "New Lines (Carriage Returns and Line Feeds)", Needs::CrAndLf},
    {IDM_REMOVE_CR, RuleKind::Shrinking, "remove-cr", "Carriage Returns", Needs::Cr},
    {IDM_REMOVE_LF, RuleKind::Shrinking, "remove-lf", "Line Feeds", Needs::Lf},
    {IDM_REMOVE_SPACES, RuleKind::Shrinking, "remove-spaces", "Spaces", Needs::Spaces},
    {IDM_TRAILING_WHITE_SPACE, RuleKind::Shrinking, "trailing-white-space",
     "Trailing White Space", Needs::SpacesOrTabs},
    {IDM_LEADING_WHITE_SPACE, RuleKind::Shrinking, "leading-white-space", "Leading White Space", Needs::SpacesOrTabs},
    {IDM_REMOVE_NON_ASCII, RuleKind::Shrinking, "remove-non-ascii",
     "Remove Non-ASCII characters", Needs::NonAscii},
    {IDM_REMOVE_PARENTHESES, RuleKind::Shrinking, "remove-parentheses",
     "Remove stuff in parentheses. ()", Needs::Parentheses},
    {IDM_REMOVE_BRACKETS, RuleKind::Shrinking, "remove-brackets", "Remove stuff in brackets. []", Needs::Brackets},
    {IDM_REMOVE_ANGLE_BRACKETS, RuleKind::Shrinking, "remove-signs", "Remove stuff in signs. <>", Needs::AngleBrackets},
    {IDM_REMOVE_BRACES, RuleKind::Shrinking, "remove-braces", "Remove stuff in braces {}",
     Needs::Braces},
    {IDM_ADD_CR, RuleKind::Add, "add-cr", "Carriage Returns", Needs::Cr},
    {IDM_ADD_NEW_LINES, RuleKind::Add, "add-new-lines", "New Lines", Needs::CrAndLf},
    {IDM_ADD_LF, RuleKind::Add, "add-lf", "Line Feeds", Needs::Lf},
    {IDM_PREPEND_STAMP, RuleKind::Prepend, "prepend-date-time", "Prepend Date and Time", Needs::Nothing},
    {IDM_CLEANUP_SINGLE_SPACED, RuleKind::Recipe, "general-text-single-spaced",
     "General Text, single spaced", Needs::Nothing},
    {IDM_CLEANUP_DOUBLE_SPACED, RuleKind::Recipe, "general-text-double-spaced",
     "General Text, double spaced", Needs::Nothing},
    {IDM_CLEANUP_MEMO_PAD, RuleKind::Recipe, "palm-memo-pad", "General Text, Palm Memo Pad ready", Needs::Nothing},
    {IDM_CLEANUP_SOURCE_CODE, RuleKind::Recipe, "source-code", "Source code", Needs::Nothing},
    {IDM_CLEANUP_PGN_COMMENTS, RuleKind::Recipe, "pgn-comments",
     "PGN (Portable Game Notation) Comments", Needs::Nothing},
    {IDM_CLEANUP_SINGLE_LINE, RuleKind::Recipe, "single-line",
     "Convert clipboard contents to a single line.", Needs::Nothing},
    {IDM_CLEANUP_WORD_PER_LINE, RuleKind::Recipe, "one-word-per-line",
     "Convert clipboard contents to a multiple lines, one line per word.", Needs::Nothing},
    {IDM_CHESS_LEFT_RIGHT, RuleKind::SameLength, "chess-left-right", "Left/Right", Needs::Nothing},
    {IDM_CHESS_TOP_BOTTOM, RuleKind::SameLength, "chess-top-bottom", "Top/Bottom", Needs::Nothing},
    {IDM_CHESS_BOTH, RuleKind::SameLength, "chess-both", "Both (180 degree rotation)", Needs::Nothing},
};

// ---- same-length maps ------------------------------------------------------

using ByteMap = std::array<unsigned char, 256>;

ByteMap identity_map() {
  ByteMap map{};
  for (int v = 0; v < 256; ++v) map[v] = static_cast<unsigned char>(v);
  return map;
}

// The byte map of a map command; false for the chess commands and unknown ids.
bool byte_map_of(unsigned id, ByteMap& map) {
  map = identity_map();
  auto swap_to = [&](char from, char to) { map[static_cast<unsigned char>(from)] = to; };
  switch (id) {
    case IDM_REVERSE_CASE:
      for (int v = 'A'; v <= 'Z'; ++v) map[v] = static_cast<unsigned char>(v ^ 32);
      for (int v = 'a'; v <= 'z'; ++v) map[v] = static_cast<unsigned char>(v ^ 32);
      return true;
    case IDM_LOWER_CASE:
      for (int v = 'A'; v <= 'Z'; ++v) map[v] = static_cast<unsigned char>(v + 32);
      return true;
    case IDM_UPPER_CASE:
      for (int v = 'a'; v <= 'z'; ++v) map[v] = static_cast<unsigned char>(v - 32);
      return true;
    case IDM_PHONE_NUMBER: {
      static const char keypad[] = "22233344455566677778889999";
      for (int v = 'A'; v <= 'Z'; ++v) map[v] = keypad[(v & 31) - 1];
      for (int v = 'a'; v <= 'z'; ++v) map[v] = keypad[(v & 31) - 1];
      return true;
    }
    case IDM_CR_TO_LF: swap_to(CR, LF); return true;
    case IDM_LF_TO_CR: swap_to(LF, CR); return true;
    case IDM_CR_TO_FF: swap_to(CR, FF); return true;
    case IDM_FF_TO_CR: swap_to(FF, CR); return true;
    case IDM_FF_TO_LF: swap_to(FF, LF); return true;
    case IDM_LF_TO_FF: swap_to(LF, FF); return true;
    case IDM_FF_TO_SPACE: swap_to(FF, SP); return true;
    case IDM_CR_TO_SPACE: swap_to(CR, SP); return true;
    case IDM_LF_TO_SPACE: swap_to(LF, SP); return true;
    case IDM_SPACE_TO_CR: swap_to(SP, CR); return true;
    case IDM_SPACE_TO_LF: swap_to(SP, LF); return true;
    case IDM_SPACE_TO_FF: swap_to(SP, FF); return true;
    case IDM_FORWARD_TO_REVERSE_SLASHES: swap_to('/', '\\'); return true;
    case IDM_REVERSE_TO_FORWARD_SLASHES: swap_to('\\', '/'); return true;
    case IDM_FLIP_SLASHES:
      swap_to('/', '\\');
      swap_to('\\', '/');
      return true;
    default:
      return false;
  }
}

void apply_map(const ByteMap& map, char* data, std::size_t n) {
  auto* p = reinterpret_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < n; ++i) p[i] = map[p[i]];
}

#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
// Vector forms of the common maps; the tail goes through the byte map.
bool vector_map(unsigned id, char* data, std::size_t n, std::size_t& done) {
  const __m128i flip = _mm_set1_epi8(0x20);
  auto in_range = [](__m128i v, char low, char high) {
    // Shift the range down to start at -128, then one signed compare.
    const __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(-128 - low)));
    return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + (high - low + 1))));
  };
  ByteMap map;
  int from = -1, to = -1;
  bool swap_pair = false;
  if (id != IDM_REVERSE_CASE && id != IDM_LOWER_CASE && id != IDM_UPPER_CASE) {
    if (!byte_map_of(id, map) || id == IDM_PHONE_NUMBER) return false;
    for (int v = 0; v < 256; ++v) {
      if (map[v] == v) continue;
      if (from < 0) {
        from = v;
        to = map[v];
      } else {
        swap_pair = true;  // flip slashes: the two map onto each other
      }
    }
  }
  const __m128i a = _mm_set1_epi8(static_cast<char>(from));
  const __m128i b = _mm_set1_epi8(static_cast<char>(to));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    __m128i out;
    switch (id) {
      case IDM_REVERSE_CASE: {
        const __m128i letters = _mm_or_si128(in_range(v, 'A', 'Z'), in_range(v, 'a', 'z'));
        out = _mm_xor_si128(v, _mm_and_si128(letters, flip));
        break;
      }
      case IDM_LOWER_CASE:
        out = _mm_or_si128(v, _mm_and_si128(in_range(v, 'A', 'Z'), flip));
        break;
      case IDM_UPPER_CASE:
        out = _mm_sub_epi8(v, _mm_and_si128(in_range(v, 'a', 'z'), flip));
        break;
      default: {
        const __m128i is_a = _mm_cmpeq_epi8(v, a);
        out = _mm_or_si128(_mm_andnot_si128(is_a, v), _mm_and_si128(is_a, b));
        if (swap_pair) {
          const __m128i is_b = _mm_cmpeq_epi8(v, b);
          out = _mm_or_si128(_mm_andnot_si128(is_b, out), _mm_and_si128(is_b, a));
        }
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), out);
  }
  done = i;
  return true;
}
#endif

bool is_file_letter(char c) { return c >= 'a' && c <= 'h'; }
bool is_rank_digit(char c) { return c >= '1' && c <= '8'; }

void flip_chess(unsigned id, char* data, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (!is_file_letter(data[i]) || !is_rank_digit(data[i + 1])) continue;
    if (id != IDM_CHESS_TOP_BOTTOM) data[i] = static_cast<char>(201 - data[i]);
    if (id != IDM_CHESS_LEFT_RIGHT) data[i + 1] = static_cast<char>(105 - data[i + 1]);
    // The scan moves on by one, to the digit, which starts nothing.
  }
}

// ---- removals ---------------------------------------------------------------

#if defined(__SSE2__) && !defined(KESTRIN_SCALAR) && defined(__GNUC__)
// Shuffle patterns that gather the kept bytes of 8 to the front, by drop mask.
struct Compaction {
  std::array<uint64_t, 256> shuffle{};
  std::array<uint8_t, 256> kept{};
  constexpr Compaction() {
    for (unsigned mask = 0; mask < 256; ++mask) {
      uint64_t pattern = 0;
      unsigned count = 0;
      for (unsigned k = 0; k < 8; ++k) {
        if (mask & (1u << k)) continue;
        pattern |= static_cast<uint64_t>(k) << (8 * count++);
      }
      for (unsigned k = count; k < 8; ++k) pattern |= uint64_t{0x80} << (8 * k);
      shuffle[mask] = pattern;
      kept[mask] = static_cast<uint8_t>(count);
    }
  }
};

constexpr Compaction kCompaction{};

// Writes the bytes of v not marked in `mask` to out (16 bytes are stored).
__attribute__((target("ssse3"))) std::size_t compact16(__m128i v, unsigned mask, char* out) {
  const unsigned low = mask & 0xFF, high = mask >> 8;
  const __m128i pick =
      _mm_set_epi64x(static_cast<long long>(kCompaction.shuffle[high] + 0x0808080808080808ull),
                     static_cast<long long>(kCompaction.shuffle[low]));
  const __m128i gathered = _mm_shuffle_epi8(v, pick);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), gathered);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + kCompaction.kept[low]),
                   _mm_srli_si128(gathered, 8));
  return kCompaction.kept[low] + kCompaction.kept[high];
}

bool has_ssse3() {
  static const bool supported = __builtin_cpu_supports("ssse3");
  return supported;
}
#endif

// Deletes every byte equal to c (or, with squeeze, every c that follows a c).
template <bool squeeze>
std::size_t drop_byte(char* data, std::size_t n, char c) {
  std::size_t i = 0, out = 0;
  char previous = '\0';
  bool have_previous = false;
#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
#if defined(__GNUC__)
  const bool shuffle = has_ssse3();
#else
  const bool shuffle = false;
#endif
  const __m128i target = _mm_set1_epi8(c);
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, target)));
    if constexpr (squeeze) {
      // A c is dropped only when the byte before it (in the input) is a c too.
      const unsigned before = (mask << 1) | ((have_previous && previous == c) ? 1u : 0u);
      previous = (mask >> 15) ? c : '\0';
      have_previous = true;
      mask &= before;
    }
    if (mask == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(data + out), v);  // reads are in v
      out += 16;
      continue;
    }
#if defined(__GNUC__)
    // The 16 stored bytes may reach past this block's output, never past its input.
    if (shuffle) {
      out += compact16(v, mask, data + out);
      continue;
    }
#endif
    alignas(16) char block[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(block), v);
    for (int k = 0; k < 16; ++k) {
      data[out] = block[k];
      out += (mask >> k) & 1u ? 0 : 1;
    }
  }
#endif
  if (!squeeze && i > 0) {
    previous = data[i - 1];
    have_previous = true;
  }
  for (; i < n; ++i) {
    const char byte = data[i];
    const bool drop = byte == c && (!squeeze || (have_previous && previous == c));
    previous = byte;
    have_previous = true;
    if (!drop) data[out++] = byte;
  }
  return out;
}

bool is_pair(const char* data, std::size_t n, std::size_t i) {
  return i + 1 < n && data[i] == CR && data[i + 1] == LF;
}

// 40008, 40029, 40025: CR LF pairs become one byte or nothing.
std::size_t join_pairs(char* data, std::size_t n, int replacement, bool keep_last_pair) {
  std::size_t i = 0, out = 0;
  while (i < n) {
    if (is_pair(data, n, i) && (!keep_last_pair || i + 2 < n)) {
      if (replacement >= 0) data[out++] = static_cast<char>(replacement);
      i += 2;
    } else {
      data[out++] = data[i++];
    }
  }
  return out;
}

// 40021 (keep one pair) and 40071 (keep two).
std::size_t excess_new_lines(char* data, std::size_t n, bool leave_one) {
  std::size_t i = 0, out = 0;
  const std::size_t keep_after = leave_one ? 3 : 2;
  while (i < n) {
    if (n - i >= 6 && is_pair(data, n, i) && is_pair(data, n, i + 2)) {
      const std::size_t emit = leave_one ? 4 : 2;
      for (std::size_t k = 0; k < emit; ++k) data[out++] = (k % 2 == 0) ? CR : LF;
      i += 4;
      while (n - i > keep_after && is_pair(data, n, i)) i += 2;
    } else {
      data[out++] = data[i++];
    }
  }
  return out;
}

// Offset of the first CR, LF or FF at or after `from`, or n.
std::size_t next_line_break(const char* data, std::size_t from, std::size_t n) {
  std::size_t i = from;
#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
  const __m128i cr = _mm_set1_epi8(CR), lf = _mm_set1_epi8(LF), ff = _mm_set1_epi8(FF);
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                     _mm_cmpeq_epi8(v, ff));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  for (; i < n; ++i) {
    if (data[i] == CR || data[i] == LF || data[i] == FF) return i;
  }
  return n;
}

// A run of white space counts only when a CR, LF or FF follows it directly, so
// each line break is found and the white space just before it dropped; the
// stretches between are moved whole.
std::size_t trailing_white_space(char* data, std::size_t n) {
  std::size_t out = 0, start = 0;
  while (start < n) {
    const std::size_t line_break = next_line_break(data, start, n);
    std::size_t keep = line_break;
    if (line_break < n) {
      while (keep > start && is_white(data[keep - 1])) --keep;
    }
    if (out != start) std::memmove(data + out, data + start, keep - start);
    out += keep - start;
    if (line_break == n) break;
    data[out++] = data[line_break];
    start = line_break + 1;
  }
  return out;
}

std::size_t leading_white_space(char* data, std::size_t n) {
  std::size_t i = 0, out = 0;
  while (i < n && is_white(data[i])) ++i;
  while (i < n) {
    const char c = data[i];
    if ((c == CR || c == LF) && n - i - 1 >= 2 && is_white(data[i + 1])) {
      data[out++] = c;
      i += 1;
      while (i < n && is_white(data[i])) ++i;
      if (i < n) data[out++] = data[i++];  // the byte ending the run, unexamined
    } else {
      data[out++] = data[i++];
    }
  }
  return out;
}

std::size_t remove_non_ascii(char* data, std::size_t n) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = data[i];
    data[out] = c;
    out += static_cast<unsigned char>(c) < 128 ? 1 : 0;
  }
  return out;
}

std::size_t remove_bracketed(char* data, std::size_t n, char open, char close) {
  std::size_t i = 0, out = 0;
  while (i < n) {
    if (data[i] != open) {
      data[out++] = data[i++];
      continue;
    }
    const void* found = std::memchr(data + i + 1, close, n - i - 1);
    i = found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1 : n;
  }
  return out;
}

std::size_t count_of(std::string_view text, char c) {
  std::size_t count = 0;
  for (const char* p = text.data(), *end = text.data() + text.size();
       (p = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)))) !=
       nullptr;
       ++p) {
    ++count;
  }
  return count;
}

constexpr unsigned kSingleSpaced[] = {IDM_TRAILING_WHITE_SPACE, IDM_LEADING_WHITE_SPACE,
                                      IDM_EXCESS_NEW_LINES};
constexpr unsigned kDoubleSpaced[] = {IDM_TRAILING_WHITE_SPACE, IDM_LEADING_WHITE_SPACE,
                                      IDM_EXCESS_NEW_LINES, IDM_ADD_NEW_LINES};
constexpr unsigned kSourceCode[] = {IDM_TRAILING_WHITE_SPACE};
constexpr unsigned kPgnComments[] = {IDM_REMOVE_NON_ASCII, IDM_LF_TO_SPACE, IDM_CR_TO_SPACE,
                                     IDM_EXCESS_SPACES};
constexpr unsigned kMemoPad[] = {IDM_TRAILING_WHITE_SPACE, IDM_EXCESS_NEW_LINES_LEAVE_ONE};
constexpr unsigned kSingleLine[] = {IDM_NEW_LINES_TO_SPACES, IDM_EXCESS_SPACES,
                                    IDM_TRAILING_WHITE_SPACE, IDM_LEADING_WHITE_SPACE};
constexpr unsigned kWordPerLine[] = {IDM_EXCESS_SPACES, IDM_TRAILING_WHITE_SPACE,
                                     IDM_LEADING_WHITE_SPACE, IDM_SPACES_TO_NEW_LINES};

}  // namespace

const TextCommand* text_commands(std::size_t& count) {
  count = std::size(kCommands);
  return kCommands;
}

const TextCommand* find_text_command(unsigned id) {
  for (const TextCommand& c : kCommands) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const TextCommand* find_text_command(std::string_view name) {
  for (const TextCommand& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

const TextCommand* find_text_command_by_word(std::string_view word) {
  if (!word.empty() && word.size() <= 9 && word.find_first_not_of("0123456789") == std::string_view::npos) {
    unsigned id = 0;
    for (char c : word) id = id * 10 + static_cast<unsigned>(c - '0');
    return find_text_command(id);
  }
  return find_text_command(word);
}

bool same_length_replace(unsigned id, char* data, std::size_t n) {
  if (id == IDM_CHESS_LEFT_RIGHT || id == IDM_CHESS_TOP_BOTTOM || id == IDM_CHESS_BOTH) {
    flip_chess(id, data, n);
    return true;
  }
  ByteMap map;
  if (!byte_map_of(id, map)) return false;
  std::size_t done = 0;
#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
  if (!vector_map(id, data, n, done)) done = 0;
#endif
  apply_map(map, data + done, n - done);
  return true;
}

std::size_t same_length_block_size(const char* block, std::size_t size) {
  return std::memchr(block, '\0', size) ? size : size + 1;
}

void same_length_fill(unsigned id, const char* source, std::size_t source_size, char* target,
                      std::size_t target_size) {
  if (target_size == 0) return;
  std::memcpy(target, source, source_size < target_size ? source_size : target_size);
  const void* nul = std::memchr(target, '\0', target_size - 1);
  const std::size_t text_size =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - target) : target_size - 1;
  same_length_replace(id, target, text_size);
  target[target_size - 1] = '\0';
}

std::size_t remove_text(unsigned id, char* data, std::size_t n) {
  switch (id) {
    case IDM_NEW_LINES_TO_FF: return join_pairs(data, n, FF, false);
    case IDM_NEW_LINES_TO_SPACES: return join_pairs(data, n, SP, true);
    case IDM_REMOVE_NEW_LINES: return join_pairs(data, n, -1, true);
    case IDM_REMOVE_CR: return drop_byte<false>(data, n, CR);
    case IDM_REMOVE_LF: return drop_byte<false>(data, n, LF);
    case IDM_REMOVE_FF: return drop_byte<false>(data, n, FF);
    case IDM_REMOVE_SPACES: return drop_byte<false>(data, n, SP);
    case IDM_EXCESS_CR: return drop_byte<true>(data, n, CR);
    case IDM_EXCESS_LF: return drop_byte<true>(data, n, LF);
    case IDM_EXCESS_FF: return drop_byte<true>(data, n, FF);
    case IDM_EXCESS_SPACES: return drop_byte<true>(data, n, SP);
    case IDM_EXCESS_NEW_LINES: return excess_new_lines(data, n, false);
    case IDM_EXCESS_NEW_LINES_LEAVE_ONE: return excess_new_lines(data, n, true);
    case IDM_TRAILING_WHITE_SPACE: return trailing_white_space(data, n);
    case IDM_LEADING_WHITE_SPACE: return leading_white_space(data, n);
    case IDM_REMOVE_NON_ASCII: return remove_non_ascii(data, n);
    case IDM_REMOVE_PARENTHESES: return remove_bracketed(data, n, '(', ')');
    case IDM_REMOVE_BRACKETS: return remove_bracketed(data, n, '[', ']');
    case IDM_REMOVE_BRACES: return remove_bracketed(data, n, '{', '}');
    case IDM_REMOVE_ANGLE_BRACKETS: return remove_bracketed(data, n, '<', '>');
    default: return n;
  }
}

bool splits_after(unsigned id, char c) {
  switch (id) {
    case IDM_CHESS_LEFT_RIGHT:
    case IDM_CHESS_TOP_BOTTOM:
    case IDM_CHESS_BOTH:
      return !is_file_letter(c);  // a square never straddles the cut
    case IDM_REMOVE_CR:
    case IDM_REMOVE_LF:
    case IDM_REMOVE_FF:
    case IDM_REMOVE_SPACES:
    case IDM_REMOVE_NON_ASCII:
      return true;
    case IDM_EXCESS_CR: return c != CR;  // a run never straddles the cut
    case IDM_EXCESS_LF: return c != LF;
    case IDM_EXCESS_FF: return c != FF;
    case IDM_EXCESS_SPACES: return c != SP;
    case IDM_TRAILING_WHITE_SPACE: return !is_white(c);
    default: {
      const TextCommand* command = find_text_command(id);
      return command && command->kind == RuleKind::SameLength;  // byte by byte
    }
  }
}

std::size_t growth_of(unsigned id, std::string_view text) {
  switch (id) {
    case IDM_FF_TO_NEW_LINES: return count_of(text, FF);
    case IDM_SPACES_TO_NEW_LINES: return count_of(text, SP);
    case IDM_ADD_CR: return count_of(text, CR);
    case IDM_ADD_LF: return count_of(text, LF);
    case IDM_ADD_NEW_LINES: {
      std::size_t pairs = 0;
      for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == CR && text[i + 1] == LF) ++pairs;
      }
      return 2 * pairs;
    }
    default: return 0;
  }
}

std::size_t grow_into(unsigned id, std::string_view text, char* out) {
  char target = '\0';
  switch (id) {
    case IDM_FF_TO_NEW_LINES: target = FF; break;
    case IDM_SPACES_TO_NEW_LINES: target = SP; break;
    case IDM_ADD_CR:
    case IDM_ADD_NEW_LINES: target = CR; break;
    case IDM_ADD_LF: target = LF; break;
    default:
      std::memcpy(out, text.data(), text.size());
      return text.size();
  }
  char* o = out;
  std::size_t start = 0;
  // From one byte of interest to the next; the stretches between go whole.
  while (start < text.size()) {
    const void* hit = std::memchr(text.data() + start, target, text.size() - start);
    const std::size_t at =
        hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
    std::memcpy(o, text.data() + start, at - start);
    o += at - start;
    if (at == text.size()) break;
    auto put = [&o](const char* bytes, std::size_t n) {
      std::memcpy(o, bytes, n);
      o += n;
    };
    switch (id) {
      case IDM_FF_TO_NEW_LINES:
      case IDM_SPACES_TO_NEW_LINES: put("\r\n", 2); break;
      case IDM_ADD_CR: put("\r\r", 2); break;
      case IDM_ADD_LF: put("\n\n", 2); break;
      case IDM_ADD_NEW_LINES:
        if (at + 1 < text.size() && text[at + 1] == LF) put("\r\n", 2);
        put("\r", 1);
        break;
    }
    start = at + 1;
  }
  return static_cast<std::size_t>(o - out);
}

std::string grow_text(unsigned id, std::string_view text) {
  std::string out(text.size() + growth_of(id, text), '\0');
  out.resize(grow_into(id, text, out.data()));
  return out;
}

std::string compact_stamp(const LocalTime& t) {
  char buffer[64];
  const std::size_t n = format_bounded(buffer, sizeof buffer, "%04u%02u%02u%02u%02u%02u", t.year,
                                       t.month, t.day, t.hour, t.minute, t.second);
  return std::string(buffer, n);
}

std::string date_stamp(const LocalTime& t) {
  static const char* const weekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
  char buffer[128];
  const std::size_t n = format_bounded(
      buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u\r\n%s\r\n\r\n", t.year, t.month,
      t.day, t.hour, t.minute, t.second, weekdays[t.day_of_week % 7]);
  return std::string(buffer, n);
}

const unsigned* recipe_steps(unsigned id, std::size_t& count) {
  auto steps = [&count](const auto& list) {
    count = std::size(list);
    return list;
  };
  switch (id) {
    case IDM_CLEANUP_SINGLE_SPACED: return steps(kSingleSpaced);
    case IDM_CLEANUP_DOUBLE_SPACED: return steps(kDoubleSpaced);
    case IDM_CLEANUP_SOURCE_CODE: return steps(kSourceCode);
    case IDM_CLEANUP_PGN_COMMENTS: return steps(kPgnComments);
    case IDM_CLEANUP_MEMO_PAD: return steps(kMemoPad);
    case IDM_CLEANUP_SINGLE_LINE: return steps(kSingleLine);
    case IDM_CLEANUP_WORD_PER_LINE: return steps(kWordPerLine);
    default: count = 0; return nullptr;
  }
}

bool apply_text_command(unsigned id, std::string& text, const LocalTime& now) {
  const TextCommand* command = find_text_command(id);
  if (!command) return false;
  switch (command->kind) {
    case RuleKind::SameLength:
      return same_length_replace(id, text.data(), text.size());
    case RuleKind::Shrinking:
      text.resize(remove_text(id, text.data(), text.size()));
      return true;
    case RuleKind::Growing:
    case RuleKind::Add:
      if (growth_of(id, text) != 0) text = grow_text(id, text);
      return true;
    case RuleKind::Stamp:
      text = id == IDM_STAMP_COMPACT ? compact_stamp(now) : date_stamp(now);
      return true;
    case RuleKind::Prepend:
      text.insert(0, date_stamp(now));
      return true;
    case RuleKind::Recipe: {
      std::size_t count = 0;
      const unsigned* steps = recipe_steps(id, count);
      for (std::size_t k = 0; k < count; ++k) apply_text_command(steps[k], text, now);
      return true;
    }
  }
  return false;
}

}  // namespace kestrin
