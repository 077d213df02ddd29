#include "transform/long_command_win.h"
#include "clipboard/change_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "frame_win.h"
#include "res/resource.h"
#include "transform/long_rewrite.h"
#include "utf.h"

namespace kestrin {

// How the worker's write ended.
enum class WriteEnd { NotTried, Written, Changed, Busy, Refused };

// What the worker and the window share. The worker touches nothing else of
// the program, so a window closed meanwhile leaves it nothing freed to touch.
struct LongCommandJob {
  unsigned id = 0;
  bool unicode = false;
  SharedText text;              // the text it runs on; let go when it ends
  DWORD sequence = 0;           // the clipboard's when the text was read: it writes only over that
  bool ansi_same_length = false;
  std::string ansi_tail;        // what follows the text in its block, its NUL first (same-length)
  std::size_t least_block = 0;  // an ANSI same-length result keeps the source block's size
  std::size_t line_limit = SIZE_MAX;
  std::shared_ptr<ThreadWrite> thread_write;  // the monitor's, for the notice of its write
  RewriteProgress progress;
  // Set by the worker before `finished`:
  RewriteResult result;
  WriteEnd write = WriteEnd::NotTried;
  // Running, then either stopped by the window or writing (from the
  // clipboard's empty on, when it can no longer stop): never both.
  enum Phase : int { Running, Stopped, Writing };
  std::atomic<int> phase{Running};
  bool writing() const { return phase.load() == Writing; }
  bool stop() {
    progress.stop = true;
    int expected = Running;
    return phase.compare_exchange_strong(expected, Stopped) || expected == Stopped;
  }
  bool begin_write() {
    int expected = Running;
    return phase.compare_exchange_strong(expected, Writing);
  }
  std::atomic<bool> finished{false};
};

struct LongCommandRun {
  std::shared_ptr<LongCommandJob> job;
  std::string name;    // as the menu says it, without its '&'
  ULONGLONG started = 0;
};

namespace {

// The result onto the clipboard, as the text it was made from left it. The
// text and its analysis are made while the clipboard is empty (the system's
// copy of the old text in this process is gone by then), so that the notice
// of this write is handled without reading the clipboard again.
WriteEnd write_result(LongCommandJob& job, GlobalBlock& block, HWND window) {
  // Another program may hold it a while: a few seconds, then the result is dropped.
  ClipboardSession clipboard(window, true, 3000);
  if (!clipboard.is_open()) return WriteEnd::Busy;
  if (GetClipboardSequenceNumber() != job.sequence) return WriteEnd::Changed;
  if (job.progress.stop) return WriteEnd::NotTried;
  std::shared_ptr<PreparedText> written;
  {
    LockedBlock result(block.get());
    if (!result) return WriteEnd::Refused;
    if (job.ansi_same_length) {
      // What follows the text's NUL in the source block, as the short frame copies it.
      const std::size_t from = job.result.size + 1;
      const std::size_t to = std::min(job.result.size + job.ansi_tail.size(), result.size());
      if (to > from) std::memcpy(result.data() + from, job.ansi_tail.data() + 1, to - from);
      result.data()[result.size() - 1] = '\0';
    }
    if (!job.unicode && job.thread_write && result.size() - job.result.size <= kKeptAnsiTail) {
      job.thread_write->ansi_tail.emplace(result.data() + job.result.size, result.size() - job.result.size);
    }
    if (!job.begin_write()) return WriteEnd::NotTried;  // stopped just now
    if (job.thread_write) job.thread_write->writing = true;
    clipboard.empty();
    // The window lets the old text go before the new one is made: the text is
    // held twice at most, never three times.
    SendMessageTimeoutA(window, WM_KESTRIN_COMMAND_WRITING, 0, 0, SMTO_NORMAL, 5000, nullptr);
    try {
      auto text = std::make_shared<TextValue>();
      text->unicode = job.unicode;
      if (job.unicode) {
        text->bytes = utf16_to_utf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(result.data()), job.result.size / sizeof(char16_t)));
      } else {
        text->bytes.assign(result.data(), job.result.size);
      }
      written = prepare_text(std::move(text), job.line_limit);
    } catch (const std::bad_alloc&) {
      written.reset();  // the notice is then handled as a copy, read from the clipboard
    }
    if (written && job.thread_write) {
      job.thread_write->written = std::move(written);
      job.thread_write->landed = true;
    }
  }
  // Unlocked: the system takes the block whole.
  return add_to_clipboard(clipboard, job.unicode ? CF_UNICODETEXT : CF_TEXT, block) ? WriteEnd::Written
                                                                                     : WriteEnd::Refused;
}

void run_job(const std::shared_ptr<LongCommandJob>& job, HWND window) {
  const std::size_t terminator = job->unicode ? sizeof(char16_t) : 1;
  GlobalBlock block;
  {
    std::optional<LockedBlock> locked;
    std::size_t asked = 0;
    auto room = [&](std::size_t bytes) -> char* {
      asked = std::max(bytes + terminator, job->least_block);
      locked.reset();
      block = GlobalBlock::allocate(asked);
      if (!block) return nullptr;
      locked.emplace(block.get());
      return locked->data();
    };
    job->result = rewrite_long_text(job->id, job->text->bytes, job->unicode, room, job->progress);
    job->text.reset();
    const bool made = job->result.end == RewriteEnd::Written && locked && *locked;
    if (made) std::memset(locked->data() + job->result.size, 0, terminator);
    locked.reset();
    if (!made && job->result.end == RewriteEnd::Written) job->result.end = RewriteEnd::NoRoom;
    if (const std::size_t size = std::max(job->result.size + terminator, job->least_block); made && size < asked) {
      // A removal asked for the text's size: the block leaves with what it holds.
      GlobalReAlloc(block.get(), size, GMEM_MOVEABLE);
    }
  }
  if (job->result.end == RewriteEnd::Written) job->write = write_result(*job, block, window);
  job->finished = true;
  PostMessageA(window, WM_KESTRIN_COMMAND_DONE, 0, 0);
}

std::string menu_name(const TextCommand& command) {
  std::string name;
  for (const char* c = command.menu_text; *c; ++c) {
    if (*c != '&') name += *c;
  }
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

void end_run(App& app, const std::string& status) {
  app.long_command.reset();
  KillTimer(app.main_window, kLongCommandTimerId);
  set_status_bar_text(app, status.c_str());
}

}  // namespace

bool start_long_command(App& app, const TextCommand& command) {
  if (!rewrites_long_text(command.id)) return false;
  auto run = std::make_shared<LongCommandRun>();
  auto job = std::make_shared<LongCommandJob>();
  {
    ClipboardSession session(app.main_window);
    if (!session.is_open()) return false;
    SharedText text = current_clipboard_text(app);
    if (!text || text->bytes.size() < kLongTextBytes) return false;
    job->sequence = GetClipboardSequenceNumber();
    if (!text->unicode && command.kind == RuleKind::SameLength) {
      // The same-length frame copies the whole block, what lies after the
      // text's NUL included; a block without a NUL gets one byte more. What
      // follows the text was kept when it was read: a second read of a long
      // block would cost as much as the first.
      const ClipboardTextCache& cache = app.monitor->text_cache;
      if (cache.text == text && cache.sequence == job->sequence && cache.ansi_tail) {
        job->ansi_tail = *cache.ansi_tail;
      } else {
        ClipboardBytes block(CF_TEXT);
        if (!block) return false;
        job->ansi_tail = block.whole_block().substr(text->bytes.size());
      }
      job->least_block = text->bytes.size() + std::max<std::size_t>(job->ansi_tail.size(), 1);
      job->ansi_same_length = true;
    }
    job->text = std::move(text);
  }
  job->id = command.id;
  job->unicode = job->text->unicode;
  job->line_limit = app.monitor->line_table_limit;
  job->thread_write = std::make_shared<ThreadWrite>();
  // The automatic cleanup's own write is not cleaned up again, as when its
  // write is handled inside it.
  job->thread_write->automatic_cleanup = app.monitor->auto_clean_guard > 0;
  app.monitor->thread_write = job->thread_write;
  run->job = job;
  run->name = menu_name(command);
  run->started = GetTickCount64();
  try {
    std::thread(run_job, job, app.main_window).detach();
  } catch (const std::system_error&) {
    return false;  // no thread to be had: it runs where it was asked
  }
  app.long_command = std::move(run);
  SetTimer(app.main_window, kLongCommandTimerId, 250, nullptr);
  return true;
}

bool long_command_running(App& app) {
  if (app.long_command && !app.long_command->job->writing() && GetClipboardSequenceNumber() != app.long_command->job->sequence) {
    // Its result would overwrite a newer copy: it is of no use any more.
    cancel_long_command(app, "stopped: another copy came in");
  }
  return app.long_command != nullptr;
}

bool cancel_long_command(App& app, const char* why) {
  if (!app.long_command) return true;
  LongCommandJob& job = *app.long_command->job;
  if (!job.stop()) return false;  // the clipboard is being replaced: it ends in a moment
  if (app.monitor->thread_write == job.thread_write) app.monitor->thread_write.reset();
  end_run(app, app.long_command->name + " " + (why ? why : "stopped: the clipboard is as it was") + ".");
  return true;
}

void end_long_command(App& app) {
  if (cancel_long_command(app)) return;
  // Its write has begun: the program waits for it (answering what the write
  // sends it), so that the clipboard is never left half written.
  const std::shared_ptr<LongCommandRun> run = app.long_command;
  const ULONGLONG until = GetTickCount64() + 120000;
  while (!run->job->finished && GetTickCount64() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void finish_long_command(App& app) {
  if (!app.long_command || !app.long_command->job->finished) return;
  const std::shared_ptr<LongCommandRun> run = app.long_command;
  const LongCommandJob& job = *run->job;
  switch (job.result.end) {
    case RewriteEnd::Stopped:
      return end_run(app, "");
    case RewriteEnd::NoRoom:
      MessageBeep(MB_ICONEXCLAMATION);
      return end_run(app, "Not enough memory for " + run->name + ": the clipboard is as it was.");
    case RewriteEnd::Unchanged:
      return end_run(app, run->name + ": nothing to change.");
    case RewriteEnd::Written:
      break;
  }
  switch (job.write) {
    case WriteEnd::Written:
      end_run(app, run->name + " done.");
      break;
    case WriteEnd::Changed:
      return end_run(app, run->name + ": the clipboard changed meanwhile, and is left as it is.");
    case WriteEnd::Busy:
      MessageBeep(MB_ICONEXCLAMATION);
      return end_run(app, run->name + ": another program held the clipboard; it is left as it is.");
    case WriteEnd::Refused:
      MessageBeep(MB_ICONEXCLAMATION);
      return end_run(app, run->name + ": the clipboard did not take the result.");
    case WriteEnd::NotTried:
      return end_run(app, "");
  }
  // Its notice usually comes first; one another viewer holds back is taken now.
  if (app.monitor->thread_write == job.thread_write && job.thread_write && job.thread_write->landed) {
    SendMessageA(app.main_window, WM_DRAWCLIPBOARD, 0, 0);
  }
  if (app.monitor->thread_write == job.thread_write) app.monitor->thread_write.reset();
}

void show_long_command_progress(App& app) {
  if (!long_command_running(app)) return;
  const LongCommandRun& run = *app.long_command;
  const ULONGLONG elapsed = GetTickCount64() - run.started;
  if (elapsed < 500) return;
  const uint64_t done = run.job->progress.done.load();
  const uint64_t total = std::max<uint64_t>(run.job->progress.total.load(), 1);
  const unsigned percent = static_cast<unsigned>(std::min<uint64_t>(done * 100 / total, 100));
  const double rate = static_cast<double>(done) / 1e6 / (static_cast<double>(elapsed) / 1000.0);
  char text[256];
  if (run.job->writing()) {
    std::snprintf(text, sizeof text, "%s: writing the result to the clipboard.", run.name.c_str());
  } else {
    std::snprintf(text, sizeof text, "%s: %u%% (%.0f MB/s). Escape stops it.", run.name.c_str(), percent, rate);
  }
  set_status_bar_text(app, text);
}

std::optional<LongCommandState> long_command_state(const App& app) {
  if (!app.long_command) return std::nullopt;
  const LongCommandJob& job = *app.long_command->job;
  return LongCommandState{job.progress.done.load(), job.progress.total.load(), job.writing()};
}

void long_command_writing(App& app) {
  if (!app.long_command || !app.long_command->job->writing()) return;
  // The clipboard no longer holds it; the history keeps its own entry.
  MonitorPart& m = *app.monitor;
  m.change.text.reset();
  m.analysed_text.reset();
  m.snapshot.reset();  // the written text becomes the snapshot when its notice is handled
  m.text_cache = {};
}

}  // namespace kestrin
