// The read of a clipboard change on a thread of its own. The window waits a
// moment for it, so that a short copy is handled at once, as it always was; a
// long one (whose transfer and analysis take seconds) arrives later, and its
// handling then takes the same decisions in the same order on what was read.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clipboard/analysis.h"
#include "text_value.h"

namespace kestrin {

struct ChangeRead {
  // Set by the reader before `done`:
  uint32_t sequence = 0;   // the clipboard's when it was read
  bool opened = false;     // the clipboard could be opened
  bool hidden = false;     // marked private: nothing else was read
  std::vector<uint32_t> formats;  // present, in the clipboard's order
  SharedText text;
  std::optional<std::string> ansi_tail;
  std::shared_ptr<const std::string> dib;
  uint64_t dib_bytes = 0;
  std::shared_ptr<PreparedText> prepared;  // the text analysed, when long
  std::atomic<bool> done{false};
};

// Texts from this size on are analysed by the reader.
inline constexpr std::size_t kAnalysedOnReader = std::size_t{1} << 20;

// Starts a read of the clipboard as it is now; the reader posts
// WM_KESTRIN_CHANGE_READ when done. Waits up to `wait_ms` for it.
std::shared_ptr<ChangeRead> start_change_read(HWND window, bool history_on, std::size_t line_limit,
                                              DWORD wait_ms);

// The formats present, in the clipboard's order. The clipboard is open.
std::vector<uint32_t> present_formats();

// CF_DIB of the copy, as the monitor keeps it (the clipboard is open).
void read_change_dib(bool has_text, bool history_on, std::shared_ptr<const std::string>& dib,
                     uint64_t& dib_bytes);

}  // namespace kestrin
