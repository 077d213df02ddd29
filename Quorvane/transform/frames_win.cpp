#include "transform/frames_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "run_command_win.h"
#include "res/resource.h"
#include "transform/long_command_win.h"
#include "transform/rules.h"

namespace kestrin {

namespace {

LocalTime local_time() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wDayOfWeek};
}

// The text through a removal, expansion or addition rule, written back in its
// kind. The rules leave bytes of 0x80 and above alone or remove them whole, so
// a Unicode text (UTF-8) keeps every character outside ASCII. A removal is
// written even when nothing changed; an expansion or addition with nothing to
// replace writes nothing at all.
void rewrite(App& app, TextValue text, unsigned id) {
  switch (find_text_command(id)->kind) {
    case RuleKind::SameLength:
      same_length_replace(id, text.bytes.data(), text.bytes.size());
      break;
    case RuleKind::Shrinking:
      text.bytes.resize(remove_text(id, text.bytes.data(), text.bytes.size()));
      break;
    default:
      if (growth_of(id, text.bytes) == 0) return;
      try {
        text.bytes = grow_text(id, text.bytes);
      } catch (const std::bad_alloc&) {
        return;
      }
      break;
  }
  // The change this write makes is handled with the text it wrote: no read
  // of the clipboard, and no conversion, after it.
  const auto written = std::make_shared<const TextValue>(std::move(text));
  app.monitor->written_text = written;
  write_clipboard_value(app.main_window, *written);
  app.monitor->written_text.reset();
}

void run_same_length_command(App& app, unsigned id) {
  SelfChangeScope own_write(app);
  GlobalBlock copy;
  {
    ClipboardSession session(app.main_window);
    std::optional<TextValue> text = read_clipboard_text(session);
    if (!text) return;
    if (text->unicode) {
      session.close();
      return rewrite(app, std::move(*text), id);
    }
    // ANSI text: the whole block, slack after the NUL included, byte for byte.
    ClipboardBytes block(CF_TEXT);
    if (!block) return;
    const std::string_view source = block.whole_block();
    const std::size_t size = same_length_block_size(source.data(), source.size());
    copy = GlobalBlock::allocate(size);
    if (!copy) return;
    LockedBlock target(copy.get());
    if (!target) return;
    same_length_fill(id, source.data(), source.size(), target.data(), size);
  }
  ClipboardSession session(app.main_window);
  put_on_clipboard(session, CF_TEXT, copy);
}

void run_rewriting_command(App& app, unsigned id) {
  SelfChangeScope own_write(app);
  std::optional<TextValue> text;
  {
    ClipboardSession session(app.main_window);
    text = read_clipboard_text(session);
  }
  if (text) rewrite(app, std::move(*text), id);
}

void run_stamp_command(App& app, unsigned id) {
  SelfChangeScope own_write(app);
  const LocalTime now = local_time();
  const std::string stamp = id == IDM_STAMP_COMPACT ? compact_stamp(now) : date_stamp(now);
  SetWindowTextA(app.main_window, stamp.c_str());  // until the change shows the new text
  write_clipboard_text(app.main_window, stamp);
}

void run_prepend_stamp(App& app, unsigned) {
  const std::string stamp = date_stamp(local_time());
  SelfChangeScope own_write(app);
  ClipboardSession session(app.main_window);
  std::optional<TextValue> text = read_clipboard_text(session);
  if (!text) return;
  text->bytes.insert(0, stamp);  // ASCII: the same bytes in either kind
  GlobalBlock block = make_value_block(*text);
  put_on_clipboard(session, text_format(*text), block);
}

void run_cleanup_recipe(App& app, const TextCommand& command) {
  const unsigned id = command.id;
  std::size_t count = 0;
  const unsigned* steps = recipe_steps(id, count);
  for (HMENU menu : {app.frame.tray_menu, app.frame.main_menu}) {
    if (menu) {
      CheckMenuItem(menu, static_cast<UINT>(app.settings.AutoCleanupCommand),
                    MF_BYCOMMAND | MF_UNCHECKED);
    }
  }
  app.settings.AutoCleanupCommand = static_cast<int32_t>(id);
  for (HMENU menu : {app.frame.tray_menu, app.frame.main_menu}) {
    if (menu) CheckMenuItem(menu, id, MF_BYCOMMAND | MF_CHECKED);
  }
  // A long text goes through all the steps on the worker and is written once.
  if (start_long_command(app, command)) return;
  for (std::size_t k = 0; k < count; ++k) run_command(app.main_window, steps[k]);
}

}  // namespace

void run_text_command(App& app, const TextCommand& command) {
  if (long_command_running(app)) {
    // One at a time: the next would work on a text about to change.
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  if (command.kind != RuleKind::Recipe && start_long_command(app, command)) return;
  switch (command.kind) {
    case RuleKind::SameLength:
      return run_same_length_command(app, command.id);
    case RuleKind::Shrinking:
    case RuleKind::Growing:
    case RuleKind::Add:
      return run_rewriting_command(app, command.id);
    case RuleKind::Stamp:
      return run_stamp_command(app, command.id);
    case RuleKind::Prepend:
      return run_prepend_stamp(app, command.id);
    case RuleKind::Recipe:
      return run_cleanup_recipe(app, command);
  }
}

}  // namespace kestrin
