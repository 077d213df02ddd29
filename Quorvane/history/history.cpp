#include "history/history.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

#include "history/formats.h"
#include "utf.h"

namespace kestrin {

namespace {

struct SharedHolder {
  std::shared_ptr<const void> owner;
  std::string owned;
  std::string_view view;
};

}  // namespace

SharedBytes share_bytes(std::string bytes) {
  auto holder = std::make_shared<SharedHolder>();
  holder->owned = std::move(bytes);
  holder->view = holder->owned;
  return SharedBytes(holder, &holder->view);
}

SharedBytes share_view(std::shared_ptr<const void> owner, std::string_view view) {
  auto holder = std::make_shared<SharedHolder>();
  holder->owner = std::move(owner);
  holder->view = view;
  return SharedBytes(holder, &holder->view);
}

bool is_text(EntryKind kind) { return kind == EntryKind::AnsiText || kind == EntryKind::UnicodeText; }

bool is_file_list(const KeptFormat& f) { return has_bytes(f) && f.number == cf::kHDrop && f.name.empty(); }

bool any_bytes(const std::vector<KeptFormat>& formats) {
  return std::any_of(formats.begin(), formats.end(), has_bytes);
}

uint64_t entry_bytes(const HistoryEntry& entry) {
  uint64_t bytes = entry.data ? entry.data->size() : 0;
  for (const KeptFormat& f : entry.formats) bytes += f.data ? f.data->size() : 0;
  return bytes;
}

namespace {

// The formats beyond the entry's own text or bitmap, with their bytes.
bool same_formats(const std::vector<KeptFormat>& a, const std::vector<KeptFormat>& b) {
  auto other = [](const KeptFormat& f) { return f.role != FormatRole::Main; };
  auto ia = a.begin(), ib = b.begin();
  for (;;) {
    ia = std::find_if(ia, a.end(), other);
    ib = std::find_if(ib, b.end(), other);
    if (ia == a.end() || ib == b.end()) return ia == a.end() && ib == b.end();
    if (ia->role != ib->role || ia->name != ib->name || (ia->name.empty() && ia->number != ib->number)) return false;
    const std::string_view da = ia->data ? std::string_view(*ia->data) : std::string_view();
    const std::string_view db = ib->data ? std::string_view(*ib->data) : std::string_view();
    if (da != db) return false;
    ++ia;
    ++ib;
  }
}

}  // namespace

std::size_t History::index_of(uint64_t id) const {
  for (std::size_t i = entries_.size(); i-- > 0;) {
    if (entries_[i].id == id) return i;
  }
  return entries_.size();
}

const HistoryEntry* History::find(uint64_t id) const {
  const std::size_t i = index_of(id);
  return i < entries_.size() ? &entries_[i] : nullptr;
}

void History::index(const HistoryEntry& e) {
  if (by_key_whole_) by_key_.emplace(same_key(e), e.id);
}

void History::unindex(const HistoryEntry& e) {
  if (!by_key_whole_) return;
  auto [at, end] = by_key_.equal_range(same_key(e));
  for (; at != end; ++at) {
    if (at->second == e.id) {
      by_key_.erase(at);
      return;
    }
  }
}

void History::apply(const HistoryRecord& record) {
  const HistoryEntry& e = record.entry;
  if (record.op == RecordOp::Add) {
    // An id never given yet is no entry's: nothing to look for.
    const std::size_t old = e.id >= next_id_ ? entries_.size() : index_of(e.id);
    if (old < entries_.size()) {
      unindex(entries_[old]);
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(old));
    }
    entries_.push_back(e);
    if (!entries_.back().data) entries_.back().data = share_bytes({});
    entries_.back().same_key.reset();  // of its bytes as they are here
    index(entries_.back());
    next_id_ = std::max(next_id_, e.id + 1);
    return;
  }
  const std::size_t i = index_of(e.id);
  if (i == entries_.size()) return;
  switch (record.op) {
    case RecordOp::Touch: {
      HistoryEntry moved = std::move(entries_[i]);
      moved.time = e.time;
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      entries_.push_back(std::move(moved));
      break;
    }
    case RecordOp::Remove:
      unindex(entries_[i]);
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    case RecordOp::Pin:
      entries_[i].pinned = e.pinned;
      break;
    case RecordOp::Add:
      break;
  }
}

std::optional<HistoryEntry> History::within_limit(HistoryEntry entry) const {
  entry.same_key.reset();  // of the bytes it keeps, made anew
  if (!entry.data) entry.data = share_bytes({});
  if (entry_bytes(entry) > limits_.max_item_bytes) {
    // The whole copy is over: its text, bitmap or file list is what stays.
    bool restorable = entry.kind != EntryKind::Data;
    for (KeptFormat& f : entry.formats) {
      if (f.role != FormatRole::Data) continue;
      if (entry.kind == EntryKind::Files && is_file_list(f) &&
          entry.data->size() + f.data->size() <= limits_.max_item_bytes) {
        continue;
      }
      f.role = FormatRole::OverLimit;
      f.data.reset();
    }
    if (entry.kind == EntryKind::Files) restorable = any_bytes(entry.formats);
    if (!restorable) return std::nullopt;
  }
  if (entry.data->size() <= limits_.max_item_bytes) return entry;
  if (!is_text(entry.kind)) return std::nullopt;  // no first line to keep
  // Only the first line is kept, and of that what a window can show.
  constexpr std::size_t kClippedLine = 4096;
  const std::string_view line =
      first_line(*entry.data, entry.kind == EntryKind::UnicodeText, kClippedLine);
  entry.data = share_bytes(std::string(line));
  entry.clipped = true;
  return entry;
}

bool History::same_text(const HistoryEntry& e, const HistoryEntry& copy) const {
  const EntryKind kind = copy.kind;
  const SharedBytes& data = copy.data;
  if (e.clipped != copy.clipped || (copy.clipped && e.size != copy.size)) return false;
  if (!same_formats(e.formats, copy.formats)) return false;
  const std::string_view a = *e.data, b = *data;
  if (e.kind == kind) return a.size() == b.size() && (e.data == data || a == b);
  if (!is_text(e.kind) || !is_text(kind)) return false;
  // One ANSI, one Unicode: the same characters?
  const std::string_view ansi = e.kind == EntryKind::AnsiText ? a : b;
  const std::string_view utf8 = e.kind == EntryKind::AnsiText ? b : a;
  if (utf8.size() < ansi.size() || utf8.size() > 3 * ansi.size()) return false;
  if (is_ascii(ansi)) return ansi == utf8;
  return decode_ansi_ && decode_ansi_(ansi) == utf8;
}

uint64_t History::same_key(const HistoryEntry& e) const {
  if (e.same_key) return *e.same_key;
  // Of the first characters only: it costs the same for any size, and two
  // entries with another start are never the same.
  constexpr std::size_t kKeyCharacters = 32, kKeyAnsiBytes = 4 * kKeyCharacters;
  const std::string_view bytes = *e.data;
  uint64_t key = 0;
  if (is_text(e.kind)) {
    // ANSI and Unicode holding the same characters are the same: the key is
    // of the characters (ANSI beyond ASCII decoded as same_text decodes it;
    // a character a double-byte code page cut at the end of the piece
    // decoded lies past the characters taken).
    std::string decoded;
    std::string_view text = bytes;
    if (e.kind == EntryKind::AnsiText && decode_ansi_ && !is_ascii(bytes.substr(0, kKeyAnsiBytes))) {
      decoded = decode_ansi_(bytes.substr(0, kKeyAnsiBytes));
      text = decoded;
    }
    std::size_t end = 0, characters = 0;
    for (; end < text.size(); ++end) {
      if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && characters++ == kKeyCharacters) break;
    }
    key = std::hash<std::string_view>{}(text.substr(0, end));
  } else {
    key = std::hash<std::string_view>{}(bytes.substr(0, 64)) ^ (bytes.size() * 0x9E3779B97F4A7C15ull) ^
          static_cast<uint64_t>(e.kind);
  }
  e.same_key = key;
  return key;
}

std::vector<HistoryRecord> History::add(EntryKind kind, SharedBytes data, uint64_t size, uint64_t time,
                                        std::vector<KeptFormat> formats, std::optional<EntryOrigin> origin) {
  std::vector<HistoryRecord> records;
  if (!data) return records;
  std::optional<HistoryEntry> admitted = within_limit(
      HistoryEntry{next_id_, kind, std::move(data), time, size, false, false, std::move(formats), std::move(origin)});
  if (!admitted) return records;
  HistoryRecord record;
  if (!by_key_whole_) {
    by_key_.clear();
    by_key_.reserve(entries_.size());
    by_key_whole_ = true;
    for (const HistoryEntry& e : entries_) index(e);
  }
  // Of the entries with its key, the oldest that is the same.
  std::size_t same = entries_.size();
  for (auto [at, end] = by_key_.equal_range(same_key(*admitted)); at != end; ++at) {
    const std::size_t i = index_of(at->second);
    if (i < same && same_text(entries_[i], *admitted)) same = i;
  }
  if (same < entries_.size()) {
    record.op = RecordOp::Touch;
    record.entry.id = entries_[same].id;
    record.entry.time = time;
  }
  if (record.op == RecordOp::Add) record.entry = std::move(*admitted);
  apply(record);
  records.push_back(std::move(record));
  for (HistoryRecord& evicted : enforce_limit()) records.push_back(std::move(evicted));
  return records;
}

void History::replay(const std::vector<HistoryRecord>& records) {
  by_key_whole_ = false;
  struct Slot {
    HistoryEntry entry;
    uint64_t order = 0;  // of its last Add or Touch
  };
  std::vector<Slot> slots;
  std::unordered_map<uint64_t, std::size_t> live;  // id -> slot
  live.reserve(records.size());
  uint64_t order = 0;
  for (const HistoryRecord& record : records) {
    const uint64_t id = record.entry.id;
    next_id_ = std::max(next_id_, id + 1);
    const auto at = live.find(id);
    if (record.op == RecordOp::Add) {
      std::optional<HistoryEntry> e = within_limit(record.entry);
      if (!e) {
        if (at != live.end()) live.erase(at);
        continue;
      }
      if (at != live.end()) {
        slots[at->second] = {std::move(*e), ++order};
      } else {
        live.emplace(id, slots.size());
        slots.push_back({std::move(*e), ++order});
      }
      continue;
    }
    if (at == live.end()) continue;
    Slot& slot = slots[at->second];
    switch (record.op) {
      case RecordOp::Touch:
        slot.entry.time = record.entry.time;
        slot.order = ++order;
        break;
      case RecordOp::Remove:
        live.erase(at);
        break;
      case RecordOp::Pin:
        slot.entry.pinned = record.entry.pinned;
        break;
      case RecordOp::Add:
        break;
    }
  }
  std::vector<Slot*> kept;
  kept.reserve(live.size());
  for (const auto& [id, index] : live) kept.push_back(&slots[index]);
  std::sort(kept.begin(), kept.end(), [](const Slot* a, const Slot* b) { return a->order < b->order; });
  entries_.clear();
  entries_.reserve(kept.size());
  for (Slot* slot : kept) entries_.push_back(std::move(slot->entry));
}

std::vector<HistoryRecord> History::enforce_limit() {
  // Pinned entries never expire and do not count: the limit is of the others.
  if (entries_.size() <= limits_.max_entries) return {};
  std::size_t unpinned = 0;
  for (const HistoryEntry& e : entries_) unpinned += e.pinned ? 0 : 1;
  std::size_t excess = unpinned > limits_.max_entries ? unpinned - limits_.max_entries : 0;
  std::vector<HistoryRecord> records;
  if (excess == 0) return records;
  // One pass, oldest first: a history of any size (one read from a file
  // written with a higher limit) is cut in time linear in its entries.
  std::vector<HistoryEntry> kept;
  kept.reserve(entries_.size() - excess);
  for (HistoryEntry& e : entries_) {
    if (!e.pinned && excess > 0) {
      HistoryRecord record;
      record.op = RecordOp::Remove;
      record.entry.id = e.id;
      records.push_back(record);
      unindex(e);
      --excess;
      continue;
    }
    kept.push_back(std::move(e));
  }
  entries_ = std::move(kept);
  return records;
}

std::vector<HistoryRecord> History::remove(uint64_t id) {
  if (!find(id)) return {};
  HistoryRecord record;
  record.op = RecordOp::Remove;
  record.entry.id = id;
  apply(record);
  return {record};
}

std::vector<HistoryRecord> History::set_pinned(uint64_t id, bool pinned) {
  const HistoryEntry* e = find(id);
  if (!e || e->pinned == pinned) return {};
  HistoryRecord record;
  record.op = RecordOp::Pin;
  record.entry.id = id;
  record.entry.pinned = pinned;
  apply(record);
  return {record};
}

std::vector<HistoryRecord> History::clear_unpinned() {
  std::vector<HistoryRecord> records;
  for (const HistoryEntry& e : entries_) {
    if (e.pinned) continue;
    HistoryRecord record;
    record.op = RecordOp::Remove;
    record.entry.id = e.id;
    records.push_back(record);
  }
  std::erase_if(entries_, [](const HistoryEntry& e) { return !e.pinned; });
  by_key_whole_ = false;
  return records;
}

std::vector<const HistoryEntry*> History::shown() const {
  std::vector<const HistoryEntry*> order;
  order.reserve(entries_.size());
  for (bool pinned : {true, false}) {
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
      if (e->pinned == pinned) order.push_back(&*e);
    }
  }
  return order;
}

const HistoryEntry* History::shown_at(std::size_t n) const {
  const std::vector<const HistoryEntry*> order = shown();
  return n >= 1 && n <= order.size() ? order[n - 1] : nullptr;
}

void History::own_data() {
  std::vector<SharedBytes> owned;
  owned.reserve(entries_.size());
  for (const HistoryEntry& e : entries_) {
    owned.push_back(share_bytes(std::string(*e.data)));
    for (const KeptFormat& f : e.formats) owned.push_back(f.data ? share_bytes(std::string(*f.data)) : nullptr);
  }
  std::size_t next = 0;
  for (HistoryEntry& e : entries_) {
    e.data = std::move(owned[next++]);
    for (KeptFormat& f : e.formats) f.data = std::move(owned[next++]);
  }
}

std::vector<HistoryRecord> History::snapshot() const {
  std::vector<HistoryRecord> records;
  records.reserve(entries_.size());
  for (const HistoryEntry& e : entries_) records.push_back({RecordOp::Add, e});
  return records;
}

std::string_view first_line(std::string_view text, bool utf8, std::size_t max_characters) {
  const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
  std::string_view line = text.substr(0, end);
  if (!utf8) return line.substr(0, std::min(line.size(), max_characters));
  return line.substr(0, utf8_prefix(line, max_characters));
}

std::optional<std::pair<int32_t, int32_t>> dib_size(std::string_view dib) {
  if (dib.size() < 12) return std::nullopt;
  auto u32 = [&](std::size_t at) {
    uint32_t v;
    std::memcpy(&v, dib.data() + at, 4);
    return v;
  };
  auto u16 = [&](std::size_t at) {
    uint16_t v;
    std::memcpy(&v, dib.data() + at, 2);
    return v;
  };
  const uint32_t header = u32(0);
  if (header == 12) return std::pair<int32_t, int32_t>{u16(4), u16(6)};
  if (header < 40 || dib.size() < 16) return std::nullopt;
  int64_t height = static_cast<int32_t>(u32(8));  // negative: stored top down
  if (height < 0) height = std::min<int64_t>(-height, INT32_MAX);
  return std::pair<int32_t, int32_t>{static_cast<int32_t>(u32(4)), static_cast<int32_t>(height)};
}

std::string entry_preview(const HistoryEntry& entry,
                          std::string (*ansi_to_utf8)(std::string_view)) {
  constexpr std::size_t kPreviewCharacters = 200;
  if (entry.kind == EntryKind::Files) return files_preview(split_lines(*entry.data));
  if (entry.kind == EntryKind::Data) {
    std::string line = "Data:";
    for (const KeptFormat& f : entry.formats) {
      if (f.role != FormatRole::Data) continue;
      if (line.size() > kPreviewCharacters) return line + " ...";
      line += (line.size() > 5 ? ", " : " ") + format_label(f);
    }
    return line;
  }
  if (entry.kind == EntryKind::Bitmap) {
    const auto size = dib_size(*entry.data);
    if (!size) return "Bitmap";
    return "Bitmap " + std::to_string(size->first) + "x" + std::to_string(size->second);
  }
  const bool utf8 = entry.kind == EntryKind::UnicodeText;
  // Leading blank lines say nothing: the first line with something on it.
  std::string_view text = *entry.data;
  const std::size_t start = text.find_first_not_of("\r\n");
  text.remove_prefix(start == std::string_view::npos ? text.size() : start);
  const std::string_view line = first_line(text, utf8, kPreviewCharacters);
  std::string shown = utf8 || is_ascii(line) ? std::string(line) : ansi_to_utf8(line);
  for (char& c : shown) {
    if (c == '\t' || c == '\f' || c == '\0') c = ' ';
  }
  return shown;
}

std::string age_text(uint64_t time, uint64_t now) {
  const uint64_t seconds = now > time ? now - time : 0;
  if (seconds < 60) return std::to_string(seconds) + " s";
  if (seconds < 3600) return std::to_string(seconds / 60) + " min";
  if (seconds < 86400) return std::to_string(seconds / 3600) + " h";
  return std::to_string(seconds / 86400) + " d";
}

}  // namespace kestrin
