// A text command over a long text, run on a thread of its own: in pieces, with
// the result written straight into the space its caller gives (the block that
// goes onto the clipboard), how far it has come readable at any moment, and a
// stop between pieces. Platform-free.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace kestrin {

// Shared between the thread that runs a rewrite and the one that shows it.
struct RewriteProgress {
  std::atomic<uint64_t> done{0};   // units of work done
  std::atomic<uint64_t> total{0};  // units of work in all (set when the rewrite starts)
  std::atomic<bool> stop{false};   // asked to stop: the rewrite ends at its next piece
};

enum class RewriteEnd {
  Written,    // the result is in the space given
  Unchanged,  // an expansion or addition with nothing to replace: nothing to write
  Stopped,    // asked to stop
  NoRoom,     // the space could not be had
};

struct RewriteResult {
  RewriteEnd end = RewriteEnd::Stopped;
  std::size_t size = 0;  // bytes of the result, without a terminator
};

// Whether rewrite_long_text runs this command: the same-length commands, the
// removals, the expansions and additions, and the recipes made of them.
bool rewrites_long_text(unsigned id);

// Where the result goes: at least `bytes` bytes (the caller adds room for its
// terminator), or nullptr when there is no memory. Asked once, after anything
// that must be counted first.
using RewriteRoom = std::function<char*(std::size_t bytes)>;

// Command `id` over `text`, with the result of apply_text_command on the whole
// text: ANSI bytes for an ANSI text; for a Unicode text (UTF-8) the result in
// UTF-16 units, as CF_UNICODETEXT holds them. The result may be smaller than
// the room asked for (a removal asks for the text's size). Beside the text and
// the room it uses a few MiB, except a recipe, which works on a copy.
inline constexpr std::size_t kRewritePiece = std::size_t{1} << 20;
RewriteResult rewrite_long_text(unsigned id, std::string_view text, bool unicode, const RewriteRoom& room,
                                RewriteProgress& progress, std::size_t piece = kRewritePiece);

}  // namespace kestrin
