#include "remote/listing.h"

#include <nlohmann/json.hpp>

#include "history/formats.h"

namespace kestrin::remote {

namespace {

using nlohmann::json;

// One entry as an object. Made once and filled in place for each entry of a
// list: the keys and the strings' buffers are reused, not made again.
class EntryObject {
 public:
  EntryObject()
      : object_({{"position", 0}, {"id", 0}, {"kind", ""}, {"time", 0}, {"age", ""}, {"size", 0},
                 {"size_text", ""}, {"pinned", false}, {"clipped", false}, {"origin", nullptr},
                 {"formats", json::array()}, {"preview", ""}}) {}

  const json& fill(const Listed& listed, uint64_t now, AnsiToUtf8 ansi_to_utf8) {
    const HistoryEntry& e = *listed.entry;
    object_["position"] = listed.position;
    object_["id"] = e.id;
    text("kind") = kind_name(e.kind);
    object_["time"] = e.time;
    text("age") = age_text(e.time, now);
    object_["size"] = entry_bytes(e);
    text("size_text") = entry_size_text(e);
    object_["pinned"] = e.pinned;
    object_["clipped"] = e.clipped;
    object_["origin"] = e.origin ? json(e.origin->machine) : json(nullptr);
    json& formats = object_["formats"];
    formats.clear();
    for (const KeptFormat& f : e.formats) formats.push_back(format_label(f));
    text("preview") = entry_preview(e, ansi_to_utf8);
    return object_;
  }

 private:
  std::string& text(const char* key) { return object_[key].get_ref<std::string&>(); }
  json object_;
};

// Text that is not UTF-8 (a damaged entry) is written with replacement
// characters rather than refused.
std::string dumped(const json& document) {
  return document.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
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
  // Entry by entry into one document, each serialized by the library as it
  // comes: a list of 10,000 entries never stands whole as objects in memory.
  EntryObject object;
  std::string out = "{\"entries\":[";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += ',';
    const std::string one = object.fill(entries[i], now, ansi_to_utf8).dump(-1, ' ', false, json::error_handler_t::replace);
    // Room for all of them at the size of the first, with some to spare: the
    // document is not copied again and again as it grows.
    if (i == 0) out.reserve(out.size() + (one.size() + one.size() / 4 + 2) * entries.size() + 8);
    out += one;
  }
  return out += "]}\n";
}

std::string entry_json(const Listed& listed, const std::string& text, uint64_t now, AnsiToUtf8 ansi_to_utf8) {
  EntryObject entry;
  json object = entry.fill(listed, now, ansi_to_utf8);
  object["text"] = text;
  return dumped(object);
}

}  // namespace kestrin::remote
