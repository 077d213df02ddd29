#include "remote/listing.h"

#include <nlohmann/json.hpp>

#include "history/formats.h"

namespace kestrin::remote {

namespace {

using nlohmann::json;

json entry_object(const Listed& listed, uint64_t now, AnsiToUtf8 ansi_to_utf8) {
  const HistoryEntry& e = *listed.entry;
  json formats = json::array();
  for (const KeptFormat& f : e.formats) formats.push_back(format_label(f));
  return {
      {"position", listed.position},
      {"id", e.id},
      {"kind", kind_name(e.kind)},
      {"time", e.time},
      {"age", age_text(e.time, now)},
      {"size", entry_bytes(e)},
      {"size_text", entry_size_text(e)},
      {"pinned", e.pinned},
      {"clipped", e.clipped},
      {"origin", e.origin ? json(e.origin->machine) : json(nullptr)},
      {"formats", std::move(formats)},
      {"preview", entry_preview(e, ansi_to_utf8)},
  };
}

// Text that is not UTF-8 (a damaged entry) is written with replacement
// characters rather than refused.
std::string dumped(const json& document) {
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

// A field of a tab-separated line holds no tab or line break.
std::string field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

const char* kind_name(EntryKind kind) {
  switch (kind) {
    case EntryKind::AnsiText:
    case EntryKind::UnicodeText: return "text";
    case EntryKind::Bitmap: return "bitmap";
    case EntryKind::Files: return "files";
    case EntryKind::Data: return "data";
  }
  return "data";
}

std::string entry_size_text(const HistoryEntry& e) {
  std::string text;
  if (e.formats.empty()) {
    text = std::to_string(e.size) + (e.kind == EntryKind::UnicodeText ? " chars" : " bytes");
  } else {
    text = std::to_string(entry_bytes(e)) + " bytes";  // every format's
  }
  if (e.clipped) text += ", first line kept";
  return text;
}

std::string list_text(const std::vector<Listed>& entries, uint64_t now, AnsiToUtf8 ansi_to_utf8) {
  std::string out;
  for (const Listed& listed : entries) {
    const HistoryEntry& e = *listed.entry;
    out += std::to_string(listed.position) + '\t' + kind_name(e.kind) + '\t' + age_text(e.time, now) + '\t' +
           entry_size_text(e) + '\t' + (e.pinned ? "pinned" : "") + '\t' +
           field(e.origin ? e.origin->machine : std::string()) + '\t' + field(entry_preview(e, ansi_to_utf8)) +
           '\n';
  }
  return out;
}

std::string list_json(const std::vector<Listed>& entries, uint64_t now, AnsiToUtf8 ansi_to_utf8) {
  json list = json::array();
  for (const Listed& listed : entries) list.push_back(entry_object(listed, now, ansi_to_utf8));
  return dumped({{"entries", std::move(list)}});
}

std::string entry_json(const Listed& listed, const std::string& text, uint64_t now, AnsiToUtf8 ansi_to_utf8) {
  json object = entry_object(listed, now, ansi_to_utf8);
  object["text"] = text;
  return dumped(object);
}

}  // namespace kestrin::remote
