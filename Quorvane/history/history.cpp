#include "history/history.h"

#include <algorithm>
#include <cstring>

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

void History::apply(const HistoryRecord& record) {
  const HistoryEntry& e = record.entry;
  if (record.op == RecordOp::Add) {
    const std::size_t old = index_of(e.id);
    if (old < entries_.size()) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(old));
    entries_.push_back(e);
    if (!entries_.back().data) entries_.back().data = share_bytes({});
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
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    case RecordOp::Pin:
      entries_[i].pinned = e.pinned;
      break;
    case RecordOp::Add:
      break;
  }
}

std::vector<HistoryRecord> History::add(EntryKind kind, SharedBytes data,
                                        uint64_t size, uint64_t time) {
  std::vector<HistoryRecord> records;
  if (!data) return records;
  const bool clipped = kind != EntryKind::Bitmap && data->size() > limits_.max_item_bytes;
  if (clipped) {
    // Only the first line is kept, and of that what a window can show.
    constexpr std::size_t kClippedLine = 4096;
    const std::string_view line = first_line(*data, kind == EntryKind::UnicodeText, kClippedLine);
    data = share_bytes(std::string(line));
  } else if (kind == EntryKind::Bitmap && data->size() > limits_.max_item_bytes) {
    return records;  // a bitmap has no first line to keep
  }
  HistoryRecord record;
  if (!clipped) {
    for (const HistoryEntry& e : entries_) {
      if (!e.clipped && e.kind == kind && e.data->size() == data->size() &&
          (e.data == data || *e.data == *data)) {
        record.op = RecordOp::Touch;
        record.entry.id = e.id;
        record.entry.time = time;
        break;
      }
    }
  }
  if (record.op == RecordOp::Add) {
    record.entry = HistoryEntry{next_id_, kind, std::move(data), time, size, false, clipped};
  }
  apply(record);
  records.push_back(std::move(record));
  for (HistoryRecord& evicted : enforce_limit()) records.push_back(std::move(evicted));
  return records;
}

std::vector<HistoryRecord> History::enforce_limit() {
  // Pinned entries never expire and do not count: the limit is of the others.
  std::size_t unpinned = 0;
  for (const HistoryEntry& e : entries_) unpinned += e.pinned ? 0 : 1;
  std::size_t excess = unpinned > limits_.max_entries ? unpinned - limits_.max_entries : 0;
  std::vector<HistoryRecord> records;
  for (std::size_t i = 0; i < entries_.size() && excess > 0; ++i) {
    if (entries_[i].pinned) continue;
    HistoryRecord record;
    record.op = RecordOp::Remove;
    record.entry.id = entries_[i].id;
    records.push_back(record);
    --excess;
  }
  if (!records.empty()) {
    std::erase_if(entries_, [&](const HistoryEntry& e) {
      return !e.pinned && std::any_of(records.begin(), records.end(),
                                      [&](const HistoryRecord& r) { return r.entry.id == e.id; });
    });
  }
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
  for (HistoryEntry& e : entries_) e.data = share_bytes(std::string(*e.data));
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
