// Putting an entry back on the clipboard: every format of it in its order, or
// its text alone; a text command run on it.
#include "history/history_win.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "clipboard/seam_win.h"
#include "run_command_win.h"
#include "wide_win.h"

namespace kestrin {

namespace {

GlobalBlock block_of(std::string_view bytes) {
  GlobalBlock block = GlobalBlock::allocate(bytes.size());
  if (!block) return block;
  LockedBlock target(block.get());
  if (!target) return GlobalBlock();
  std::memcpy(target.data(), bytes.data(), bytes.size());
  return block;
}

// The entry's own text or bitmap, as the program writes it; in the copy's own
// text format when it had one (`slot`) and the text can be written there
// exactly.
std::pair<UINT, GlobalBlock> main_block(const HistoryEntry& e, uint32_t slot = 0) {
  if (e.kind == EntryKind::Bitmap) return {CF_DIB, block_of(*e.data)};
  if (slot == CF_UNICODETEXT && e.kind == EntryKind::AnsiText) {
    const TextValue value{ansi_to_utf8(*e.data), true};
    return {CF_UNICODETEXT, make_value_block(value)};
  }
  if (slot == CF_TEXT && e.kind == EntryKind::UnicodeText) {
    if (std::optional<std::string> ansi = exact_ansi(*e.data)) {
      const TextValue value{std::move(*ansi), false};
      return {CF_TEXT, make_value_block(value)};
    }
  }
  if (e.kind == EntryKind::Files) {
    // As text: the names, a line each.
    std::string lines;
    for (const std::string& name : split_lines(*e.data)) lines += (lines.empty() ? "" : "\r\n") + name;
    const TextValue value{std::move(lines), true};
    return {text_format(value), make_value_block(value)};
  }
  const TextValue value{std::string(*e.data), e.kind == EntryKind::UnicodeText};
  return {text_format(value), make_value_block(value)};
}

struct Prepared {
  UINT format = 0;
  GlobalBlock block;
  std::string_view metafile;  // CF_ENHMETAFILE's bits
};

// Every format of the entry, made before the clipboard is emptied: when one
// cannot be made, the clipboard keeps what it has. A list of files whose
// files are not all there any more is made of those that are.
std::optional<std::vector<Prepared>> prepare(const HistoryEntry& e, bool plain, std::string& notice) {
  std::vector<Prepared> out;
  if (plain || e.formats.empty()) {
    if (plain && !is_text(e.kind) && e.kind != EntryKind::Files) {
      notice = "This entry holds no text.";
      return std::nullopt;
    }
    auto [format, block] = main_block(e);
    if (!block) return std::nullopt;
    out.push_back({format, std::move(block), {}});
    return out;
  }
  std::vector<std::string> gone;
  std::string files_left;  // CF_HDROP of the files still there, when some are gone
  for (const KeptFormat& f : e.formats) {
    if (!is_file_list(f)) continue;
    const auto names = drop_file_names(*f.data);
    if (!names) continue;
    std::vector<std::string> there;
    for (const std::string& name : *names) {
      (GetFileAttributesW(widen(name).c_str()) == INVALID_FILE_ATTRIBUTES ? gone : there).push_back(name);
    }
    if (gone.empty()) break;
    if (there.empty()) {
      notice = "None of the files of this entry is there any more.";
      return std::nullopt;
    }
    files_left = make_drop_files(there);
    notice = "No longer there, left out:";
    for (std::size_t i = 0; i < gone.size() && i < 5; ++i) notice += (i ? ", " : " ") + gone[i];
    if (gone.size() > 5) notice += " and " + std::to_string(gone.size() - 5) + " more";
  }
  for (const KeptFormat& f : e.formats) {
    if (f.role == FormatRole::Main) {
      auto [format, block] = main_block(e, f.number);
      if (!block) return std::nullopt;
      out.push_back({format, std::move(block), {}});
      continue;
    }
    if (f.role != FormatRole::Data || !f.data) continue;
    Prepared p;
    if (f.name.empty()) {
      p.format = f.number;
    } else {
      if (!gone.empty() && names_the_files(f.name)) continue;  // they name the files that are gone too
      p.format = RegisterClipboardFormatW(widen(f.name).c_str());
      if (p.format == 0) continue;
    }
    if (p.format == CF_ENHMETAFILE) {
      p.metafile = *f.data;
    } else {
      p.block = block_of(p.format == CF_HDROP && !gone.empty() ? std::string_view(files_left) : std::string_view(*f.data));
      if (!p.block) return std::nullopt;
    }
    out.push_back(std::move(p));
  }
  return out;
}

// Every format of an entry; an entry of one format has it in its kind's.
std::vector<KeptFormat> formats_of(const HistoryEntry& e) {
  if (!e.formats.empty()) return e.formats;
  const uint32_t own = e.kind == EntryKind::Bitmap ? CF_DIB : e.kind == EntryKind::AnsiText ? CF_TEXT : CF_UNICODETEXT;
  return {KeptFormat{own, {}, FormatRole::Main, nullptr}};
}

}  // namespace

std::vector<std::string> entry_format_labels(const HistoryEntry& e) {
  std::vector<std::string> labels;
  for (const KeptFormat& f : formats_of(e)) {
    if (has_bytes(f) || (f.role == FormatRole::Main && e.data)) labels.push_back(format_label(f));
  }
  return labels;
}

std::optional<std::string> entry_format_bytes(const HistoryEntry& e, std::string_view label) {
  const auto same = [&](const std::string& other) {
    return other.size() == label.size() &&
           std::equal(other.begin(), other.end(), label.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
  };
  for (const KeptFormat& f : formats_of(e)) {
    if (!same(format_label(f))) continue;
    if (has_bytes(f)) return std::string(*f.data);
    if (f.role != FormatRole::Main || !e.data) continue;
    auto [format, block] = main_block(e, f.number);
    if (!block) return std::nullopt;
    LockedBlock bytes(block.get());
    if (!bytes) return std::nullopt;
    return std::string(static_cast<const char*>(bytes.data()), GlobalSize(block.get()));
  }
  return std::nullopt;
}

Recall recall_history_entry(App& app, uint64_t id, bool plain) {
  HistoryPart& h = *app.history;
  Recall recall;
  const HistoryEntry* e = h.model.find(id);
  if (!e) return recall;
  std::optional<std::vector<Prepared>> formats;
  try {
    formats = prepare(*e, plain, recall.notice);
  } catch (const std::bad_alloc&) {
    recall.notice = "There is not enough memory to put this entry on the clipboard.";
  }
  if (!formats || formats->empty()) return recall;
  // Not recorded again (the window keeps its order while the user pastes one
  // entry after another); in append mode it is joined, as a recalled slot is.
  // Its text alone is a new copy, and recorded as one.
  std::optional<CountScope> quiet;
  if (!plain) quiet.emplace(h.suppress);
  ClipboardSession session(app.main_window);
  if (!session.is_open()) return recall;
  session.empty();
  bool any = false;
  for (Prepared& p : *formats) {
    any = (p.format == CF_ENHMETAFILE ? add_metafile_to_clipboard(session, p.metafile)
                                      : add_to_clipboard(session, p.format, p.block)) || any;
  }
  recall.done = any;
  return recall;
}

bool make_clipboard_plain(App& app) {
  std::optional<TextValue> text;
  {
    ClipboardSession session(app.main_window);
    text = read_clipboard_text(session);
  }
  return text && write_clipboard_value(app.main_window, *text);
}

bool apply_text_command_to_entry(App& app, uint64_t id, unsigned command) {
  const HistoryEntry* e = app.history->model.find(id);
  if (!e || !is_text(e->kind) || !recall_history_entry(app, id).done) return false;
  run_command(app.main_window, command);
  return true;
}

}  // namespace kestrin
