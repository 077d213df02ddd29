#include "remote/answer_win.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "clipboard/seam_win.h"
#include "history/formats.h"
#include "history/history_win.h"
#include "history/paste_win.h"
#include "remote/listing.h"
#include "remote/verbs.h"
#include "run_command_win.h"
#include "transform/long_command_win.h"
#include "transform/rules.h"
#include "wide_win.h"

namespace kestrin {

namespace {

using remote::Answer;
using remote::Invocation;
using remote::Verb;

Answer failed(const std::string& why) { return {remote::kExitFailed, {}, why + "\n"}; }
Answer done(std::string out = {}) { return {remote::kExitDone, std::move(out), {}}; }

uint64_t now_seconds() { return static_cast<uint64_t>(std::time(nullptr)); }

// "Upper Case", "&Upper Case", "upper case...": the menu's text as typed.
std::string plain_menu_text(std::string_view text) {
  std::string plain;
  for (char c : text) {
    if (c == '&') continue;
    if (c == '\t') break;  // a shortcut's text
    plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  while (!plain.empty() && (plain.back() == '.' || plain.back() == ' ')) plain.pop_back();
  return plain;
}

// By identifier, by name as kestrin-text --list prints it, or by menu text.
const TextCommand* command_named(const std::string& name) {
  if (const TextCommand* command = find_text_command_by_word(name)) return command;
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  const std::string wanted = plain_menu_text(name);
  for (std::size_t i = 0; i < count; ++i) {
    if (plain_menu_text(commands[i].menu_text) == wanted) return &commands[i];
  }
  return nullptr;
}

class HistoryVerbs {
 public:
  explicit HistoryVerbs(App& app) : app_(app) {}

  // Why the history cannot answer now, if it cannot.
  std::optional<Answer> unavailable() const {
    if (!app_.history || !app_.settings.History) {
      return failed("The clipboard history is off (Options, Keep History).");
    }
    if (!app_.history->loaded()) return failed("The clipboard history is still being read; try again in a moment.");
    return std::nullopt;
  }

  // Entry N of the window's order, or the answer that there is none.
  const HistoryEntry* at(std::size_t n, Answer& missing) const {
    const HistoryEntry* e = app_.history->model.shown_at(n);
    if (!e) {
      missing = failed("There is no entry " + std::to_string(n) + ": the history holds " +
                       std::to_string(app_.history->model.entries().size()) + ".");
    }
    return e;
  }

  Answer list(const Invocation& inv) const {
    std::vector<remote::Listed> rows;
    const std::vector<const HistoryEntry*> order = app_.history->model.shown();
    const std::size_t count = std::min(order.size(), inv.count.value_or(order.size()));
    for (std::size_t i = 0; i < count; ++i) rows.push_back({i + 1, order[i]});
    return print(rows, inv.json);
  }

  // The entries the window shows for the query, in its order; each by its
  // position in the whole list, which select and the rest take.
  Answer search(const Invocation& inv) const {
    const TextSearch search(*inv.text, exact_ansi(*inv.text), app_.history->ansi_fold);
    std::vector<remote::Listed> rows;
    const std::vector<const HistoryEntry*> order = app_.history->model.shown();
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (search.matches(*order[i])) rows.push_back({i + 1, order[i]});
    }
    return print(rows, inv.json);
  }

  Answer read(const Invocation& inv) const {
    Answer missing;
    const HistoryEntry* e = at(*inv.position, missing);
    if (!e) return missing;
    const std::string n = std::to_string(*inv.position);
    if (inv.format) {
      if (std::optional<std::string> bytes = entry_format_bytes(*e, *inv.format)) return done(std::move(*bytes));
      std::string names;
      for (const std::string& label : entry_format_labels(*e)) names += (names.empty() ? "" : ", ") + label;
      return failed("Entry " + n + " has no format " + *inv.format +
                    (names.empty() ? "." : "; it has " + names + "."));
    }
    std::string text;
    switch (e->kind) {
      case EntryKind::AnsiText: text = ansi_to_utf8(*e->data); break;
      case EntryKind::UnicodeText: text = std::string(*e->data); break;
      case EntryKind::Files:
        for (const std::string& name : split_lines(*e->data)) text += name + "\n";
        break;
      case EntryKind::Bitmap:
      case EntryKind::Data:
        if (!inv.json) return failed("Entry " + n + " holds no text (read " + n + " --format NAME writes a format).");
        break;
    }
    Answer answer = done(inv.json ? remote::entry_json({*inv.position, e}, text, now_seconds(), ansi_to_utf8)
                                  : std::move(text));
    if (e->clipped) answer.err = "Entry " + n + " was larger than the history keeps: only its first line is kept.\n";
    return answer;
  }

  Answer change(const Invocation& inv) {
    Answer missing;
    const HistoryEntry* e = at(*inv.position, missing);
    if (!e) return missing;
    const uint64_t id = e->id;
    switch (inv.verb) {
      case Verb::Remove: remove_history_entry(app_, id); return done();
      case Verb::Pin: pin_history_entry(app_, id, true); return done();
      case Verb::Unpin: pin_history_entry(app_, id, false); return done();
      default: break;
    }
    const Recall recall = recall_history_entry(app_, id);
    if (!recall.done) return failed(recall.notice.empty() ? "The clipboard could not be written." : recall.notice);
    Answer answer = done();
    if (!recall.notice.empty()) answer.err = recall.notice + "\n";
    if (inv.verb == Verb::Paste) {
      const HWND front = GetForegroundWindow();
      if (!front) return failed("On the clipboard, but there is no window in front to paste into.");
      const PasteResult pasted = paste_into_foreground(front);
      if (pasted != PasteResult::Sent) return failed("On the clipboard, not pasted: " + narrow(paste_failure_text(pasted)));
    }
    return answer;
  }

 private:
  Answer print(const std::vector<remote::Listed>& rows, bool json) const {
    return done(json ? remote::list_json(rows, now_seconds(), ansi_to_utf8)
                     : remote::list_text(rows, now_seconds(), ansi_to_utf8));
  }
  App& app_;
};

RemoteOutcome run_text_command(App& app, const Invocation& inv) {
  const TextCommand* command = command_named(*inv.text);
  if (!command) return {{remote::kExitBadArguments, {}, "No text command '" + *inv.text + "' (kestrin-text --list prints them).\n"}};
  if (inv.position) {
    HistoryVerbs history(app);
    if (auto why = history.unavailable()) return {*why};
    Answer missing;
    const HistoryEntry* e = history.at(*inv.position, missing);
    if (!e) return {missing};
    if (!apply_text_command_to_entry(app, e->id, command->id)) {
      return {failed("Entry " + std::to_string(*inv.position) + " holds no text.")};
    }
    return {done()};
  }
  if (long_command_running(app)) return {failed("Another text command is running; try again when it has ended.")};
  if (command->needs != Needs::Nothing && !IsClipboardFormatAvailable(CF_TEXT) &&
      !IsClipboardFormatAvailable(CF_UNICODETEXT)) {
    return {failed("The clipboard holds no text.")};
  }
  run_command(app.main_window, command->id);
  RemoteOutcome outcome{done()};
  outcome.waits_for_command = long_command_running(app);
  return outcome;
}

}  // namespace

RemoteOutcome answer_request(App& app, const remote::Request& request) {
  const remote::Parsed parsed = remote::parse_invocation(request.words);
  if (!parsed.invocation) return {{remote::kExitBadArguments, {}, parsed.error + "\n"}};
  const Invocation& inv = *parsed.invocation;
  if (inv.help) return {done(remote::verb_help(inv.verb))};
  HistoryVerbs history(app);
  switch (inv.verb) {
    case Verb::Help:
    case Verb::Copy:
    case Verb::Clipboard:
    case Verb::Formats:
      return {{remote::kExitBadArguments, {}, "kestrin.com does this itself.\n"}};
    case Verb::Run:
      return run_text_command(app, inv);
    case Verb::Show:
      ShowWindow(app.main_window, IsIconic(app.main_window) ? SW_RESTORE : SW_SHOW);
      SetForegroundWindow(app.main_window);
      return {done()};
    case Verb::Exit: {
      RemoteOutcome outcome{done()};
      outcome.close_after = true;
      return outcome;
    }
    default:
      break;
  }
  if (auto why = history.unavailable()) return {*why};
  switch (inv.verb) {
    case Verb::List: return {history.list(inv)};
    case Verb::Search: return {history.search(inv)};
    case Verb::Read: return {history.read(inv)};
    case Verb::Select:
    case Verb::Paste:
    case Verb::Remove:
    case Verb::Pin:
    case Verb::Unpin:
      return {history.change(inv)};
    case Verb::Clear:
      clear_history_entries(app);
      return {done()};
    case Verb::Add:
      if (!inv.text || inv.text->empty()) return {failed("Nothing to add: the text is empty.")};
      if (!remote::is_utf8(*inv.text)) return {failed("The text is not UTF-8.")};
      add_history_text(app, *inv.text);
      return {done()};
    case Verb::History:
      open_history_window(app);
      return {done()};
    default:
      return {failed("Not a verb the program answers.")};
  }
}

}  // namespace kestrin
