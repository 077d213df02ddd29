#include "clipboard/change_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "clipboard/analysis_win.h"
#include "clipboard/append.h"
#include "clipboard/change_reader_win.h"
#include "clipboard/dib.h"
#include "clipboard/floating_status_win.h"
#include "run_command_win.h"
#include "diagnostics_win.h"
#include "frame_win.h"
#include "res/resource.h"
#include "text_format.h"
#include "wide_win.h"

namespace kestrin {

namespace {

// Step 1: joins the text of the change onto the snapshot and writes the result
// back in the session the change was read in, so that no other copy can come in
// between. The write's own notification runs the whole handling nested, inside
// the close.
void append_join(App& app, ClipboardSession& session) {
  SelfChangeScope own_write(app);
  if (!app.monitor->snapshot || !app.monitor->change.text || !session.is_open()) return;
  const std::string_view separator = append_separator(app.settings.AppendWith);
  const TextValue& before = *app.monitor->snapshot;
  const TextValue& added = *app.monitor->change.text;
  std::shared_ptr<TextValue> joined;
  GlobalBlock block;
  try {
    // ANSI joined to Unicode becomes Unicode: the ANSI part is converted, never
    // the other way, so no character is lost.
    const bool unicode = before.unicode || added.unicode;
    std::string converted[2];
    auto part = [&](const TextValue& text, std::string& holder) -> std::string_view {
      if (!unicode || text.unicode) return text.bytes;
      return holder = ansi_to_utf8(text.bytes);
    };
    const std::string_view first = part(before, converted[0]);
    const std::string_view second = part(added, converted[1]);
    joined = std::make_shared<TextValue>();
    joined->unicode = unicode;
    joined->bytes.assign(first.size() + separator.size() + second.size() + 1, '\0');
    join_texts(joined->bytes.data(), first, separator, second);
    joined->bytes.pop_back();  // join_texts ends with a NUL
    block = make_value_block(*joined);
  } catch (const std::bad_alloc&) {
    return;
  }
  if (!block) return;
  app.monitor->snapshot.reset();
  app.monitor->written_text = joined;
  put_on_clipboard(session, text_format(*joined), block);
  session.close();
  app.monitor->written_text.reset();
}

}  // namespace

std::shared_ptr<MonitorPart> make_monitor_part() { return std::make_shared<MonitorPart>(); }

SharedText current_clipboard_text(App& app) {
  const DWORD sequence = GetClipboardSequenceNumber();
  ClipboardTextCache& cache = app.monitor->text_cache;
  if (cache.sequence != sequence) {
    cache.text.reset();
    cache.sequence = sequence;
    // The caller holds the clipboard open.
    try {
      if (std::optional<TextValue> text = read_open_clipboard_text(&cache.ansi_tail)) {
        cache.text = std::make_shared<const TextValue>(std::move(*text));
      }
    } catch (const std::bad_alloc&) {
      cache.text.reset();
    }
  }
  return cache.text;
}

void take_snapshot(App& app) {
  app.monitor->snapshot.reset();
  ClipboardSession session(app.main_window);
  if (session.is_open()) app.monitor->snapshot = current_clipboard_text(app);
}

// A notice whose change is handled later goes on along the chain now, once.
static void pass_on_now(MonitorPart& m, WPARAM wparam, LPARAM lparam) {
  if (!m.notice_passed && m.next_viewer) SendMessageA(m.next_viewer, WM_DRAWCLIPBOARD, wparam, lparam);
  m.notice_passed = true;
}

static void pass_on(App& app, WPARAM wparam, LPARAM lparam) {
  // A notice whose change was read on the reader went on when it came.
  if (std::exchange(app.monitor->notice_passed, false)) return;
  if (app.monitor->next_viewer) SendMessageA(app.monitor->next_viewer, WM_DRAWCLIPBOARD, wparam, lparam);
}

void set_tray_tip(App& app, const char* text) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = app.main_window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_TIP;
  copy_bounded(data.szTip, sizeof data.szTip, text);
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

// Steps 2 to 13 of one change, in their order, on the change as read.
static void run_change_steps(App& app, const ClipboardChange& change, WPARAM wparam, LPARAM lparam) {
  const Settings& s = app.settings;
  const bool hidden = change.hidden();
  if (s.Append && !hidden) app.monitor->snapshot = change.text;
  analyse_change(app, change);
  restart_tray_animation(app);
  if (s.BeepOnChange) MessageBeep(MB_ICONASTERISK);
  if (s.AutoFocus) {
    app.monitor->saved_foreground = GetForegroundWindow();
    SetForegroundWindow(app.main_window);
  }
  if (app.viewer.floating_status) {
    MessageBeep(MB_ICONEXCLAMATION);
    refresh_floating_status(app);
  }
  set_tray_tip(app, app.monitor->status_text.data());
  if (s.AutoCleanup && s.AutoCleanupCommand != 0 && change.text &&
      app.monitor->auto_clean_guard == 0 && !hidden) {
    CountScope guard(app.monitor->auto_clean_guard);
    run_command(app.main_window, static_cast<unsigned>(s.AutoCleanupCommand));
  }
  pass_on(app, wparam, lparam);
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  if (s.AutoScrollClipboard) {
    SendMessageA(app.main_window, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageA(app.main_window, WM_HSCROLL, SB_LEFT, 0);
    if (s.DebugLogging) {
      debug_log(app.main_window, kUnitMain, kSiteAutoScroll, "Trying to AutoScroll!");
    }
  }
  if (s.AutoShell && !hidden) {
    CountScope automatic(app.files.automatic_shell);
    run_command(app.main_window, IDM_SHELL_OPEN);
  }
}

// The notice as the monitor stands now.
static Notice notice_now(const App& app, ChangeSource source) {
  return {source, GetClipboardSequenceNumber(), app.monitor->handled_sequence,
          app.monitor->change_depth};
}

static bool lists_text(const std::vector<uint32_t>& formats) {
  return std::find_if(formats.begin(), formats.end(),
                      [](uint32_t f) { return f == CF_TEXT || f == CF_UNICODETEXT; }) != formats.end();
}

enum class Taken {
  Changed,
  Unchanged,  // handled already: handling it again would join the joined text onto itself
  Held,       // another program held the clipboard: read again a moment later
};

// Tries at reading a copy while another program holds the clipboard, a quarter
// of a second apart (each read waits up to half a second): only after them is
// it taken as a copy whose mark could not be read, and hidden.
constexpr unsigned kHeldTries = 8;
constexpr UINT kHeldRetryMs = 250;

// Reads the change and joins it in append mode, in one open clipboard: while it
// is open no other program can change what was read.
static Taken take_change(App& app, ChangeSource source, bool thread_write) {
  MonitorPart& m = *app.monitor;
  // The reader's read of the clipboard as it stands is the change itself: the
  // window need not open the clipboard (another program, such as the one that
  // hands the copy on to X11, may hold it now for a while).
  std::shared_ptr<ChangeRead> read = m.reading;
  if (thread_write || !read || !read->done || !read->opened || read->sequence != GetClipboardSequenceNumber() ||
      (!read->hidden && !read->text && lists_text(read->formats))) {
    read.reset();  // read here (a text the reader could not have: it ran short of memory, say)
  }
  // Another thread's write of ours may still hold the clipboard open while the
  // system takes its data: what it wrote is known, and nothing is read.
  std::optional<ClipboardSession> session(std::in_place, app.main_window, !thread_write && !read);
  ChangeFacts facts;
  facts.notice = notice_now(app, source);
  if (read) facts.notice.sequence = read->sequence;  // a newer copy's notice follows
  facts.we_own_clipboard = GetClipboardOwner() == app.main_window;
  facts.join_written = m.written_text != nullptr;
  ClipboardChange change;
  change.sequence = facts.notice.sequence;
  if (thread_write) {
    change.privacy = Privacy::Public;
    change.formats = {text_format(*m.written_text)};
  } else if (read) {
    change.privacy = read->hidden ? Privacy::Private : Privacy::Public;
    change.formats = read->formats;
  } else if (session->is_open()) {
    change.privacy = holds_private_content() ? Privacy::Private : Privacy::Public;
    change.formats = present_formats();
  }
  // Another program's copy that could not be read (the clipboard was held all
  // the while, or its text would not come) is read again a moment later: a
  // copy is not hidden, nor taken for one without text, for being held.
  const bool unread = source == ChangeSource::Elsewhere && facts.notice.handled != facts.notice.sequence &&
                      !thread_write && !read &&
                      (!session->is_open() || (!change.hidden() && lists_text(change.formats) &&
                                               !current_clipboard_text(app)));
  if (unread) {
    if (m.busy_sequence != facts.notice.sequence) m.busy_tries = 0;
    m.busy_sequence = facts.notice.sequence;
    if (++m.busy_tries < kHeldTries) {
      m.text_cache.sequence.reset();  // its text is read anew then
      return Taken::Held;
    }
  }
  m.busy_sequence.reset();
  // A copy marked private, or one whose mark could not be read, is seen but
  // never joined, kept or shown.
  facts.private_content = change.hidden() && !facts.join_written;
  facts.append = app.settings.Append != 0;
  facts.self_change = m.self_change;
  const ChangeDecision decision = decide_change(facts);
  if (!decision.changed) return Taken::Unchanged;
  if (decision.claim) m.handled_sequence = facts.notice.sequence;
  switch (decision.text) {
    case ChangeText::Keep:
      change.text = m.change.text;
      change.dib = m.change.dib;
      change.dib_bytes = m.change.dib_bytes;
      break;
    case ChangeText::Written:
      // Our own text, as we wrote it: nothing of it is private.
      if (decision.claim) m.text_cache = {facts.notice.sequence, m.written_text, std::nullopt};
      change.text = m.written_text;
      change.privacy = Privacy::Public;
      break;
    case ChangeText::Read:
      if (change.hidden()) break;
      if (read) {
        m.reading.reset();
        // Read on the reader's thread, at this very sequence number: the same value.
        change.text = read->text;
        change.dib = read->dib;
        change.dib_bytes = read->dib_bytes;
        m.text_cache = {read->sequence, read->text, read->ansi_tail};
        if (read->prepared && read->prepared->text == read->text) m.prepared = read->prepared;
        break;
      }
      if (!session->is_open()) break;
      change.text = current_clipboard_text(app);
      if (change.has(CF_DIB) || change.has(CF_BITMAP)) {
        read_change_dib(change.text != nullptr, app.settings.History != 0, change.dib, change.dib_bytes);
      }
      break;
  }
  if (change.hidden()) {
    change.text.reset();
    change.dib.reset();
  }
  m.change = std::move(change);
  if (decision.join) {
    // Joined only onto the copy that was read: a newer one is joined when its
    // notice comes. Read on the reader, the copy may be held a moment longer
    // by another program that takes it too (Wine hands each copy on to X11).
    constexpr DWORD kJoinPatienceMs = 1000;
    if (read) session.emplace(app.main_window, true, kJoinPatienceMs);
    if (!read || GetClipboardSequenceNumber() == read->sequence) append_join(app, *session);
  }
  return Taken::Changed;
}

// The record of a write of ours made on another thread, when this notice is
// its: the thread has written its text, and the window owns the clipboard.
static std::shared_ptr<ThreadWrite> take_thread_write(App& app, ChangeSource source) {
  MonitorPart& m = *app.monitor;
  if (source != ChangeSource::Elsewhere || !m.thread_write || !m.thread_write->landed.load() ||
      GetClipboardOwner() != app.main_window) {
    return nullptr;
  }
  return std::exchange(m.thread_write, nullptr);
}

// Whether the clipboard as it stands has been read on the reader's thread; if
// not, a read starts (one at a time), and a short one is waited for.
static bool change_read_ready(App& app, WPARAM wparam, LPARAM lparam) {
  constexpr DWORD kWaitMs = 200;
  MonitorPart& m = *app.monitor;
  m.read_notice = {wparam, lparam};
  if (m.reading && !m.reading->done) return false;  // its arrival handles the clipboard as it is then
  if (m.reading && m.reading->opened && m.reading->sequence == GetClipboardSequenceNumber()) return true;
  m.reading = start_change_read(app.main_window, app.settings.History != 0, m.line_table_limit, kWaitMs);
  return m.reading->done.load();
}

std::optional<ClipboardChange> handle_clipboard_change(App& app, WPARAM wparam, LPARAM lparam) {
  // Taken once: an own write's notice is claimed by the first look.
  ChangeSource source = classify_change_notification();
  MonitorPart& m = *app.monitor;
  // The write of a long text command, made on its own thread: handled as the
  // program's own (its self-change raised, and the cleanup guard when it is
  // the automatic cleanup's), with the text it wrote and its analysis.
  const std::shared_ptr<ThreadWrite> thread_write = take_thread_write(app, source);
  const std::shared_ptr<PreparedText> thread_text = thread_write ? thread_write->written : nullptr;
  std::optional<SelfChangeScope> own_write;
  std::optional<CountScope> cleanup_guard;
  if (thread_text) {
    source = ChangeSource::OwnWrite;
    own_write.emplace(app);
    if (thread_write->automatic_cleanup) cleanup_guard.emplace(m.auto_clean_guard);
    m.written_text = thread_text->text;
    m.prepared = thread_text;
  }
  // Whatever way the handling ends, the written text and its analysis go.
  class WrittenReset {
   public:
    explicit WrittenReset(MonitorPart& part) : m_(part) {}
    WrittenReset(const WrittenReset&) = delete;
    WrittenReset& operator=(const WrittenReset&) = delete;
    ~WrittenReset() {
      m_.written_text.reset();
      m_.prepared.reset();
    }

   private:
    MonitorPart& m_;
  };
  std::optional<WrittenReset> written_reset;
  if (thread_text) written_reset.emplace(m);
  switch (decide_notice(notice_now(app, source))) {
    case NoticeAction::Drop:
      return std::nullopt;
    case NoticeAction::Repost:
      PostMessageA(app.main_window, WM_DRAWCLIPBOARD, wparam, lparam);
      return std::nullopt;
    case NoticeAction::Handle:
      break;
  }
  // Another program's copy is read on the reader's thread; a long one is
  // handled when it arrives (the notice goes on along the chain now).
  if (source == ChangeSource::Elsewhere && m.change_depth == 0 &&
      m.handled_sequence != GetClipboardSequenceNumber() && !change_read_ready(app, wparam, lparam)) {
    pass_on_now(m, wparam, lparam);
    return std::nullopt;
  }
  bool changed = false;
  {
    CountScope depth(app.monitor->change_depth);
    const Taken taken = take_change(app, source, thread_text != nullptr);
    if (taken == Taken::Held) {
      // The notice goes on now; the copy is read again on the retry timer.
      m.read_notice = {wparam, lparam};
      pass_on_now(m, wparam, lparam);
      m.reading.reset();
      SetTimer(app.main_window, kChangeRetryTimerId, kHeldRetryMs, nullptr);
      return std::nullopt;
    }
    changed = taken == Taken::Changed;
    if (thread_text) {
      m.written_text.reset();
      if (m.text_cache.text == thread_text->text) m.text_cache.ansi_tail = thread_write->ansi_tail;
    }
    // The change as it stands after the read (and the join written inside it).
    if (changed) run_change_steps(app, ClipboardChange(app.monitor->change), wparam, lparam);
  }
  // Nothing changed since the last change handled: a re-posted notice, one
  // queued behind a copy already handled, or Wine's notice for rendering a
  // format. It is only passed on.
  if (!changed) pass_on(app, wparam, lparam);
  // Handed on once, as the change finally stands (a join or cleanup written
  // inside it included).
  if (changed && app.monitor->change_depth == 0) return app.monitor->change;
  return std::nullopt;
}

std::optional<ClipboardChange> change_read_arrived(App& app) {
  MonitorPart& m = *app.monitor;
  // Only for a notice that waits for it: a short read was taken when it came.
  if (!m.notice_passed || !m.reading || !m.reading->done || m.change_depth > 0) return std::nullopt;
  return handle_clipboard_change(app, m.read_notice.first, m.read_notice.second);
}

std::optional<ClipboardChange> retry_held_change(App& app) {
  MonitorPart& m = *app.monitor;
  KillTimer(app.main_window, kChangeRetryTimerId);
  // A notice since may have handled it, or be handling it now.
  if (!m.busy_sequence || m.change_depth > 0 || (m.reading && !m.reading->done.load()) ||
      m.handled_sequence == GetClipboardSequenceNumber()) {
    return std::nullopt;
  }
  return handle_clipboard_change(app, m.read_notice.first, m.read_notice.second);
}

std::optional<ClipboardChange> check_viewer_chain(App& app) {
  MonitorPart& m = *app.monitor;
  // Inside a handling, or before the first one, there is nothing to compare;
  // nor while a thread of ours writes (its notice comes when it is done).
  if (m.change_depth > 0 || !m.handled_sequence || (m.thread_write && m.thread_write->writing.load()) ||
      (m.reading && !m.reading->done.load()) || m.busy_sequence ||
      GetClipboardSequenceNumber() == *m.handled_sequence) {
    m.missed_ticks = 0;
    return std::nullopt;
  }
  // One tick may fall between a copy and its notice; two in a row do not.
  if (++m.missed_ticks < 2) return std::nullopt;
  m.missed_ticks = 0;
  if (app.settings.DebugLogging) {
    debug_log(app.main_window, kUnitMain, kSiteClipboardChain,
              "A clipboard change did not come through the viewer chain; joining it again.");
  }
  if (m.next_viewer) ChangeClipboardChain(app.main_window, m.next_viewer);
  m.next_viewer = SetClipboardViewer(app.main_window);  // its notice handles the change
  if (m.handled_sequence != GetClipboardSequenceNumber()) return handle_clipboard_change(app, 0, 0);
  return std::nullopt;
}

void forget_handled_change(App& app) {
  app.monitor->handled_sequence.reset();
}

void handle_chain_change(App& app, WPARAM wparam, LPARAM lparam) {
  HWND removed = reinterpret_cast<HWND>(wparam);
  if (removed == app.monitor->next_viewer) {
    app.monitor->next_viewer = reinterpret_cast<HWND>(lparam);
  } else if (app.monitor->next_viewer) {
    SendMessageA(app.monitor->next_viewer, WM_CHANGECBCHAIN, wparam, lparam);
  }
}

void start_monitor(App& app) {
  app.monitor->next_viewer = SetClipboardViewer(app.main_window);
  SetTimer(app.main_window, kChainTimerId, 1000, nullptr);
}

void stop_monitor(App& app) {
  KillTimer(app.main_window, kChainTimerId);
  app.monitor->snapshot.reset();
  if (!app.monitor->next_viewer) return;
  if (!ChangeClipboardChain(app.main_window, app.monitor->next_viewer)) {
    debug_log(app.main_window, kUnitMain, kSiteClipboardChain,
              "Problem with clipboard chain; this is a serious error!!");
  }
  app.monitor->next_viewer = nullptr;
}

void toggle_append(App& app, unsigned) {
  flip_flag(app.settings.Append);
  // The snapshot first: telling the tray waits on another process, and a copy
  // that comes in meanwhile is joined onto the text of this moment.
  app.monitor->snapshot.reset();
  if (app.settings.Append) take_snapshot(app);
  set_status_bar_text(app, app.settings.Append ? "Append mode enabled" : "Append mode disabled");
  restart_tray_animation(app);
}

void choose_separator(App& app, unsigned id) {
  const auto chosen = static_cast<int32_t>(id);
  if (chosen == app.settings.AppendWith) return;
  for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
    if (menu) CheckMenuItem(menu, static_cast<UINT>(app.settings.AppendWith), MF_BYCOMMAND | MF_UNCHECKED);
  }
  app.settings.AppendWith = chosen;
  for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
    if (menu) CheckMenuItem(menu, id, MF_BYCOMMAND | MF_CHECKED);
  }
}

void delete_clipboard(App& app, unsigned) {
  {
    SelfChangeScope own_write(app);
    {
      ClipboardSession session(app.main_window);
      session.empty();
    }
    app.monitor->snapshot.reset();
  }
  if (app.settings.DebugLogging) {
    char status[256];
    debug_log(app.main_window, kUnitMain, kSiteDeleteScrollBars,
              "Deleting leaving scroll bars, if any.");
    format_bounded(status, sizeof status, "Deleted; there are still %u lines in the buffer",
                   app.monitor->analysis.line_count);
    debug_log(app.main_window, kUnitMain, kSiteDeleteLines, status);
    format_bounded(status, sizeof status, "Deleted; the buffer is %p",
                   static_cast<const void*>(app.monitor->analysis.line_anchors.get()));
    debug_log(app.main_window, kUnitMain, kSiteDeleteBuffer, status);
  }
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void handle_clear_request(App& app) {
  if (app.settings.Append) run_command(app.main_window, IDM_APPEND);
  run_command(app.main_window, IDM_DELETE);
}

void handle_stamp_request(App& app) {
  if (!app.settings.Append) run_command(app.main_window, IDM_APPEND);
  bool has_text = false;
  {
    ClipboardSession session(app.main_window);
    has_text = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
  }
  run_command(app.main_window, has_text ? IDM_PREPEND_STAMP : IDM_STAMP_SLASHED);
}

}  // namespace kestrin
