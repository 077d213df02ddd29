#include "transform/long_rewrite.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "transform/rules.h"
#include "utf.h"

namespace kestrin {

namespace {

bool grows(RuleKind kind) { return kind == RuleKind::Growing || kind == RuleKind::Add; }

// One command's pass over a text in pieces: where a piece may end.
struct Cutter {
  unsigned id;
  RuleKind kind;
  std::string_view text;
  bool unicode;
  std::size_t piece;

  bool cut_after(std::size_t at) const {
    if (at >= text.size()) return true;
    // Never inside a character: the piece is converted on its own.
    if (unicode && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) return false;
    const char c = text[at - 1];
    if (grows(kind)) return c != '\r';  // CR LF is read as a pair
    return splits_after(id, c);
  }

  // About a piece from `from`; longer where no cut falls sooner (the whole
  // rest, at worst).
  std::size_t piece_end(std::size_t from) const {
    const std::size_t end = std::min(text.size(), from + piece);
    for (std::size_t at = end; at > from; --at) {
      if (cut_after(at)) return at;
    }
    std::size_t at = end;
    while (!cut_after(at)) ++at;
    return at;
  }
};

// Whether the command goes through in pieces at all.
bool splits(unsigned id, RuleKind kind) {
  if (grows(kind)) return true;
  if (kind != RuleKind::SameLength && kind != RuleKind::Shrinking) return false;
  for (int c = 0; c < 256; ++c) {
    if (splits_after(id, static_cast<char>(c))) return true;
  }
  return false;
}

// Runs a step over bytes in place (same-length or removal); the new length.
std::size_t in_place(unsigned id, RuleKind kind, char* data, std::size_t n) {
  if (kind == RuleKind::SameLength) {
    same_length_replace(id, data, n);
    return n;
  }
  return remove_text(id, data, n);
}

// Writes a piece of the result in the result's form; returns the bytes written.
std::size_t emit(std::string_view piece, bool unicode, char* out) {
  if (!unicode) {
    std::memcpy(out, piece.data(), piece.size());
    return piece.size();
  }
  // Through a unit buffer: `out` need not be aligned for char16_t.
  constexpr std::size_t kUnits = 1 << 15;
  char16_t units[kUnits];
  std::size_t written = 0;
  std::size_t at = 0;
  while (at < piece.size()) {
    std::size_t n = std::min(piece.size() - at, kUnits);
    while (at + n < piece.size() && (static_cast<unsigned char>(piece[at + n]) & 0xC0) == 0x80) --n;
    const std::size_t made = utf8_to_utf16_into(piece.substr(at, n), units);
    std::memcpy(out + written, units, made * sizeof(char16_t));
    written += made * sizeof(char16_t);
    at += n;
  }
  return written;
}

// The size of a text in the result's form.
std::size_t form_size(std::string_view text, bool unicode) {
  return unicode ? utf16_units(text) * sizeof(char16_t) : text.size();
}

class Run {
 public:
  Run(RewriteProgress& progress) : progress_(progress) {}
  bool stopped() const { return progress_.stop.load(std::memory_order_relaxed); }
  void did(std::size_t units) { progress_.done.fetch_add(units, std::memory_order_relaxed); }

 private:
  RewriteProgress& progress_;
};

// One command that goes through in pieces: each piece through the rule and
// out into the room. Same-length and removals on ANSI text run in the room
// itself; a Unicode text's pieces go through a buffer of their own.
RewriteResult run_in_pieces(const TextCommand& command, std::string_view text, bool unicode,
                            const RewriteRoom& room, RewriteProgress& progress, std::size_t piece) {
  Run run(progress);
  const Cutter cutter{command.id, command.kind, text, unicode, piece};
  std::size_t bound = form_size(text, unicode);
  const bool growing = grows(command.kind);
  if (growing) {
    // Counted first: nothing is written when nothing would change.
    std::size_t growth = 0;
    for (std::size_t from = 0; from < text.size();) {
      if (run.stopped()) return {RewriteEnd::Stopped, 0};
      const std::size_t to = cutter.piece_end(from);
      growth += growth_of(command.id, text.substr(from, to - from));
      run.did(to - from);
      from = to;
    }
    if (growth == 0) return {RewriteEnd::Unchanged, 0};
    bound += growth * (unicode ? sizeof(char16_t) : 1);  // CR and LF: one unit each
  }
  char* out = room(bound);
  if (!out) return {RewriteEnd::NoRoom, 0};
  std::string buffer;
  std::size_t written = 0;
  for (std::size_t from = 0; from < text.size();) {
    if (run.stopped()) return {RewriteEnd::Stopped, 0};
    const std::size_t to = cutter.piece_end(from);
    const std::string_view part = text.substr(from, to - from);
    if (!unicode && !growing) {
      std::memcpy(out + written, part.data(), part.size());
      written += in_place(command.id, command.kind, out + written, part.size());
    } else if (!unicode) {
      written += grow_into(command.id, part, out + written);
    } else {
      buffer.resize(part.size() + (growing ? growth_of(command.id, part) : 0));
      std::size_t n = part.size();
      if (growing) {
        n = grow_into(command.id, part, buffer.data());
      } else {
        std::memcpy(buffer.data(), part.data(), part.size());
        n = in_place(command.id, command.kind, buffer.data(), part.size());
      }
      written += emit(std::string_view(buffer.data(), n), true, out + written);
    }
    run.did(to - from);
    from = to;
  }
  return {RewriteEnd::Written, written};
}

// A recipe, or a command that needs the whole text: the steps over a copy,
// then the copy out into the room (through a last expansion, when the
// recipe ends with one). An ANSI recipe of steps that never lengthen the
// text works in the room itself.
RewriteResult run_whole(unsigned id, std::string_view text, bool unicode, const RewriteRoom& room,
                        RewriteProgress& progress, std::size_t piece) {
  Run run(progress);
  std::vector<const TextCommand*> steps;
  if (const TextCommand* command = find_text_command(id); command && command->kind == RuleKind::Recipe) {
    std::size_t count = 0;
    const unsigned* ids = recipe_steps(id, count);
    for (std::size_t k = 0; k < count; ++k) steps.push_back(find_text_command(ids[k]));
  } else {
    steps.push_back(command);
  }
  const TextCommand* last_growth = grows(steps.back()->kind) ? steps.back() : nullptr;
  if (last_growth) steps.pop_back();
  const uint64_t n = text.size();
  progress.total = n * (2 + steps.size() + (last_growth ? 1 : 0));
  const bool in_room = !unicode && !last_growth;
  std::string copy;
  char* work = nullptr;
  if (in_room) {
    work = room(text.size());
    if (!work) return {RewriteEnd::NoRoom, 0};
  } else {
    try {
      copy.resize(text.size());
    } catch (const std::bad_alloc&) {
      return {RewriteEnd::NoRoom, 0};
    }
    work = copy.data();
  }
  for (std::size_t from = 0; from < text.size(); from += piece) {
    if (run.stopped()) return {RewriteEnd::Stopped, 0};
    const std::size_t len = std::min(piece, text.size() - from);
    std::memcpy(work + from, text.data() + from, len);
    run.did(len);
  }
  std::size_t size = text.size();
  for (const TextCommand* step : steps) {
    if (run.stopped()) return {RewriteEnd::Stopped, 0};
    size = in_place(step->id, step->kind, work, size);
    run.did(text.size());
  }
  if (in_room) {
    run.did(text.size());
    return {RewriteEnd::Written, size};
  }
  // Out into the room: through the last step when it lengthens the text.
  const std::string_view done(work, size);
  if (last_growth) {
    RewriteResult result = run_in_pieces(*last_growth, done, unicode, room, progress, piece);
    // The recipe as a whole writes its text even when the last step finds
    // nothing to replace.
    if (result.end == RewriteEnd::Unchanged) {
      char* out = room(form_size(done, unicode));
      if (!out) return {RewriteEnd::NoRoom, 0};
      return {RewriteEnd::Written, emit(done, unicode, out)};
    }
    return result;
  }
  char* out = room(form_size(done, unicode));
  if (!out) return {RewriteEnd::NoRoom, 0};
  std::size_t written = 0;
  for (std::size_t from = 0; from < done.size();) {
    if (run.stopped()) return {RewriteEnd::Stopped, 0};
    std::size_t to = std::min(done.size(), from + piece);
    while (unicode && to < done.size() && (static_cast<unsigned char>(done[to]) & 0xC0) == 0x80) ++to;
    written += emit(done.substr(from, to - from), unicode, out + written);
    run.did(to - from);
    from = to;
  }
  return {RewriteEnd::Written, written};
}

}  // namespace

bool rewrites_long_text(unsigned id) {
  const TextCommand* command = find_text_command(id);
  if (!command) return false;
  switch (command->kind) {
    case RuleKind::SameLength:
    case RuleKind::Shrinking:
    case RuleKind::Growing:
    case RuleKind::Add:
      return true;
    case RuleKind::Recipe: {
      std::size_t count = 0;
      const unsigned* ids = recipe_steps(id, count);
      // Every step but the last keeps to the text's length or shortens it.
      for (std::size_t k = 0; k < count; ++k) {
        const TextCommand* step = find_text_command(ids[k]);
        if (!step || !rewrites_long_text(ids[k]) || step->kind == RuleKind::Recipe) return false;
        if (grows(step->kind) && k + 1 != count) return false;
      }
      return count > 0;
    }
    default:
      return false;
  }
}

RewriteResult rewrite_long_text(unsigned id, std::string_view text, bool unicode, const RewriteRoom& room,
                                RewriteProgress& progress, std::size_t piece) {
  piece = std::max<std::size_t>(piece, 16);
  const TextCommand* command = find_text_command(id);
  if (!command || !rewrites_long_text(id)) return {RewriteEnd::Stopped, 0};
  if (splits(id, command->kind)) {
    progress.total = (grows(command->kind) ? 2 : 1) * uint64_t{text.size()};
    return run_in_pieces(*command, text, unicode, room, progress, piece);
  }
  const RewriteResult result = run_whole(id, text, unicode, room, progress, piece);
  // The steps shortened the text: its last pass had less to do than counted.
  if (result.end == RewriteEnd::Written) progress.done = progress.total.load();
  return result;
}

}  // namespace kestrin
