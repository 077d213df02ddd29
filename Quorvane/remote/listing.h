// What list, search and read print of history entries: a line per entry
// (tab-separated: position, kind, age, size, pinned, origin, preview) or one
// JSON document. Platform-free; ANSI texts are handed to `ansi_to_utf8`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "history/history.h"

namespace kestrin::remote {

using AnsiToUtf8 = std::string (*)(std::string_view);

struct Listed {
  std::size_t position;  // in the window's order, from 1
  const HistoryEntry* entry;
};

// "text", "bitmap", "files" or "data".
const char* kind_name(EntryKind kind);
// As the window's size column says it: "12 chars", "4,096 bytes, first line kept".
std::string entry_size_text(const HistoryEntry& entry);

std::string list_text(const std::vector<Listed>& entries, uint64_t now, AnsiToUtf8 ansi_to_utf8);
std::string list_json(const std::vector<Listed>& entries, uint64_t now, AnsiToUtf8 ansi_to_utf8);
// read N --json: the entry as list describes it, with its whole text (UTF-8).
std::string entry_json(const Listed& entry, const std::string& text, uint64_t now, AnsiToUtf8 ansi_to_utf8);

}  // namespace kestrin::remote
