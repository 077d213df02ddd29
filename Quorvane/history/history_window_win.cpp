// The history window: a search box over a list of entries and a preview of
// the selected one. Typing filters at once; Enter puts the entry on the
// clipboard, Shift+Enter pastes it into the window that was in front, Delete
// removes it, Ctrl+P pins it, Escape closes; the context menu also runs any
// text command on it.
#include "history/history_win.h"

#include <commctrl.h>
#include <new>
#include <windowsx.h>

#include <algorithm>

#include "clipboard/seam_win.h"
#include "clipboard/dib.h"
#include "clipboard/viewer_win.h"
#include "dpi_win.h"
#include "guard_win.h"
#include "history/paste_win.h"
#include "res/resource.h"
#include "run_command_win.h"
#include "transform/rules.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr wchar_t kWindowClass[] = L"KestrinHistory";
constexpr wchar_t kPreviewClass[] = L"KestrinHistoryPreview";
constexpr wchar_t kCaption[] = L"Kestrin History";
constexpr UINT_PTR kKeysSubclass = 1;
constexpr int kSearchId = 1, kListId = 2, kPreviewId = 3;
// Context menu items of the window's own (the text commands keep their ids).
constexpr UINT kMenuRecall = 1, kMenuPaste = 2, kMenuPin = 3, kMenuDelete = 4, kMenuPlain = 5, kMenuPastePlain = 6;
constexpr int kOwnItems = 6;
constexpr std::size_t kPreviewTextLimit = 8 * 1024;
constexpr int kColumns = 5;  // Entry, Age, Size, Pinned, Machine  // bytes the preview pane draws at most
constexpr int kPreviewLines = 100;                    // and lines
// Shift+Enter waits for the window it pastes into to come to the front (the
// switch goes through the window system) before it sends the keys.
constexpr UINT_PTR kPasteTimer = 1;
constexpr UINT kPasteCheckMs = 20;
constexpr unsigned kPasteChecks = 50;

}  // namespace

struct HistoryWindowState {
  App* app = nullptr;
  HWND window = nullptr, search = nullptr, list = nullptr, preview = nullptr;
  HWND previous_foreground = nullptr;  // where Shift+Enter pastes
  std::vector<uint64_t> ids;           // the entries shown, in their order
  std::vector<const HistoryEntry*> entries;  // the same, while the model has not changed
  std::string query;                   // what they were filtered by
  unsigned changes_seen = ~0u;         // the model's change count they reflect
  std::wstring cell;                   // the text of the last cell asked for
  unsigned paste_checks = 0;           // looks left for the paste's window to come forward
  std::wstring notice;                 // why the last paste did not happen, over the preview
  UniqueGdiObject font;
  UINT dpi = kBaseDpi;  // of the monitor the window is on
};

namespace {

HistoryWindowState* state_of(HWND window) {
  return reinterpret_cast<HistoryWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

int selected_index(const HistoryWindowState& s) {
  return static_cast<int>(SendMessageW(s.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The entry shown at `index`: straight from the list of them while the model
// is as it was when they were listed, by its id after a change.
const HistoryEntry* entry_at(const HistoryWindowState& s, std::size_t index) {
  if (index >= s.ids.size()) return nullptr;
  const HistoryPart& h = *s.app->history;
  if (h.changes == s.changes_seen) return s.entries[index];
  return h.model.find(s.ids[index]);
}

const HistoryEntry* selected_entry(const HistoryWindowState& s) {
  const int i = selected_index(s);
  return i < 0 ? nullptr : entry_at(s, static_cast<std::size_t>(i));
}

void select_index(HistoryWindowState& s, int index) {
  if (s.ids.empty()) {
    InvalidateRect(s.preview, nullptr, TRUE);
    return;
  }
  index = std::clamp(index, 0, static_cast<int>(s.ids.size()) - 1);
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(s.list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  SendMessageW(s.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  InvalidateRect(s.preview, nullptr, TRUE);
}

// Filters by the search box: within the entries shown when the query only
// grew and nothing changed since, else over all of them.
void refilter(HistoryWindowState& s, bool keep_selection) {
  HistoryPart& h = *s.app->history;
  const int length = GetWindowTextLengthW(s.search);
  std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(s.search, wide.data(), length + 1);
  wide.resize(static_cast<std::size_t>(length));
  const std::string query = narrow(wide);
  const HistoryEntry* before = keep_selection ? selected_entry(s) : nullptr;
  const uint64_t selected_id = before ? before->id : 0;

  const TextSearch search(query, exact_ansi(query), h.ansi_fold);
  const bool narrowing = h.changes == s.changes_seen && query.starts_with(s.query);
  std::vector<const HistoryEntry*> entries = narrowing ? std::move(s.entries) : h.model.shown();
  std::erase_if(entries, [&](const HistoryEntry* e) { return !search.matches(*e); });
  s.ids.clear();
  for (const HistoryEntry* e : entries) s.ids.push_back(e->id);
  s.entries = std::move(entries);
  s.query = query;
  s.changes_seen = h.changes;
  SendMessageW(s.list, LVM_SETITEMCOUNT, s.ids.size(), 0);
  // No clearing of every row's state first (the list would visit each of
  // thousands): selecting one row of a single-selection list clears the other.
  int index = 0;
  if (selected_id) {
    const auto at = std::find(s.ids.begin(), s.ids.end(), selected_id);
    if (at != s.ids.end()) index = static_cast<int>(at - s.ids.begin());
  }
  InvalidateRect(s.list, nullptr, TRUE);
  select_index(s, index);
}

void recall_selected(HistoryWindowState& s, bool paste, bool plain = false) {
  const HistoryEntry* e = selected_entry(s);
  const Recall recall = e ? recall_history_entry(*s.app, e->id, plain) : Recall{};
  // What was left out (files gone), or why nothing was put.
  s.notice = widen(recall.notice);
  InvalidateRect(s.preview, nullptr, TRUE);
  if (!recall.done) {
    MessageBeep(MB_ICONASTERISK);
    return;
  }
  if (!paste) return;
  // The window in front before this one takes the keys; this window stays
  // open behind it for the next paste.
  if (!s.previous_foreground || !IsWindow(s.previous_foreground) ||
      !SetForegroundWindow(s.previous_foreground)) {
    MessageBeep(MB_ICONASTERISK);  // on the clipboard, with nowhere to paste it
    return;
  }
  s.paste_checks = kPasteChecks;
  SetTimer(s.window, kPasteTimer, kPasteCheckMs, nullptr);
}

// The keys go once the window is in front: sent before, they would reach this one.
void continue_paste(HistoryWindowState& s) {
  if (GetForegroundWindow() == s.previous_foreground) {
    KillTimer(s.window, kPasteTimer);
    const PasteResult result = paste_into_foreground(s.previous_foreground);
    if (result != PasteResult::Sent) {
      MessageBeep(MB_ICONASTERISK);
      s.notice = paste_failure_text(result);
      InvalidateRect(s.preview, nullptr, TRUE);
    }
  } else if (s.paste_checks == 0 || --s.paste_checks == 0) {
    KillTimer(s.window, kPasteTimer);
    MessageBeep(MB_ICONASTERISK);
  }
}

void delete_selected(HistoryWindowState& s) {
  const int index = selected_index(s);
  const HistoryEntry* e = selected_entry(s);
  if (!e) return;
  remove_history_entry(*s.app, e->id);  // refreshes the window
  select_index(s, index);
}

void pin_selected(HistoryWindowState& s) {
  if (const HistoryEntry* e = selected_entry(s)) pin_history_entry(*s.app, e->id, !e->pinned);
}

void apply_command(HistoryWindowState& s, unsigned id) {
  const HistoryEntry* e = selected_entry(s);
  if (!e || !apply_text_command_to_entry(*s.app, e->id, id)) MessageBeep(MB_ICONASTERISK);
}

void show_context_menu(HistoryWindowState& s, POINT at) {
  const HistoryEntry* e = selected_entry(s);
  if (!e) return;
  UniqueMenu menu(CreatePopupMenu());
  UniqueMenu source(LoadMenuA(s.app->instance, "Quorvane"));
  if (!menu || !source) return;
  AppendMenuW(menu.get(), MF_STRING, kMenuRecall, L"Put on the clipboard\tEnter");
  AppendMenuW(menu.get(), MF_STRING, kMenuPaste, L"Paste\tShift+Enter");
  AppendMenuW(menu.get(), MF_STRING, kMenuPlain, L"Put its text only\tCtrl+Enter");
  AppendMenuW(menu.get(), MF_STRING, kMenuPastePlain, L"Paste its text only\tCtrl+Shift+Enter");
  AppendMenuW(menu.get(), MF_STRING, kMenuPin, e->pinned ? L"Unpin\tCtrl+P" : L"Pin\tCtrl+P");
  AppendMenuW(menu.get(), MF_STRING, kMenuDelete, L"Delete\tDel");
  if (is_text(e->kind)) {
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    // The text command menus of the menu bar: Edit's Replace, Remove and Add,
    // and Cleanup. Borrowed: the source menu owns them and outlives the popup.
    HMENU edit = GetSubMenu(source.get(), 1);
    for (int i = 0; edit && i < GetMenuItemCount(edit); ++i) {
      HMENU sub = GetSubMenu(edit, i);
      if (!sub) continue;
      wchar_t title[64] = {};
      GetMenuStringW(edit, static_cast<UINT>(i), title, 64, MF_BYPOSITION);
      AppendMenuW(menu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(sub), title);
    }
    if (HMENU cleanup = GetSubMenu(source.get(), 2)) {
      AppendMenuW(menu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(cleanup), L"Cleanup");
    }
  }
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                       at.x, at.y, 0, s.window, nullptr));
  // The borrowed menus go with their source, not with the popup.
  while (GetMenuItemCount(menu.get()) > kOwnItems) RemoveMenu(menu.get(), kOwnItems, MF_BYPOSITION);
  switch (chosen) {
    case 0: return;
    case kMenuRecall: recall_selected(s, false); return;
    case kMenuPaste: recall_selected(s, true); return;
    case kMenuPlain: recall_selected(s, false, true); return;
    case kMenuPastePlain: recall_selected(s, true, true); return;
    case kMenuPin: pin_selected(s); return;
    case kMenuDelete: delete_selected(s); return;
    default:
      if (find_text_command(chosen)) apply_command(s, chosen);
  }
}

// Keys of the search box and the list: the keyboard drives everything.
bool handle_key(HistoryWindowState& s, HWND from, WPARAM key) {
  const bool control = GetKeyState(VK_CONTROL) < 0;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  switch (key) {
    case VK_RETURN:
      recall_selected(s, shift, control);
      return true;
    case VK_ESCAPE:
      DestroyWindow(s.window);
      return true;
    case VK_DELETE: {
      // In the search box Delete edits until the caret is at the end of its text.
      if (from == s.search) {
        DWORD start = 0, end = 0;
        SendMessageW(s.search, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        if (start != end || static_cast<int>(end) < GetWindowTextLengthW(s.search)) return false;
      }
      delete_selected(s);
      return true;
    }
    case VK_TAB:
      SetFocus(from == s.search ? s.list : s.search);
      return true;
    case 'P':
      if (!control) return false;
      pin_selected(s);
      return true;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
      if (from != s.search) return false;
      if (s.ids.empty()) return true;
      {
        const int page = std::max(1, static_cast<int>(SendMessageW(s.list, LVM_GETCOUNTPERPAGE, 0, 0)));
        const int step = key == VK_UP ? -1 : key == VK_DOWN ? 1 : key == VK_PRIOR ? -page : page;
        select_index(s, std::max(selected_index(s), 0) + step);
      }
      return true;
  }
  return false;
}

LRESULT CALLBACK keys_proc(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                           DWORD_PTR data) {
  auto& s = *reinterpret_cast<HistoryWindowState*>(data);
  if (message == WM_KEYDOWN && handle_key(s, control, wparam)) return 0;
  if (message == WM_CHAR) {
    // Their characters were keys of the window (Enter, Escape, Ctrl+P).
    if (wparam == '\r' || wparam == 0x1B || wparam == 0x10 || wparam == '\t') return 0;
    // Typing in the list types into the search box.
    if (control == s.list && wparam >= 0x20) {
      SetFocus(s.search);
      return SendMessageW(s.search, WM_CHAR, wparam, lparam);
    }
  }
  if (message == WM_GETDLGCODE) return DLGC_WANTALLKEYS | DefSubclassProc(control, message, wparam, lparam);
  return DefSubclassProc(control, message, wparam, lparam);
}

// "Kept: HTML Format, CF_UNICODETEXT, Rich Text Format. Left out: PNG (not
// read in time)": the program did not hand it over, or the copy had gone.
std::string formats_line(const HistoryEntry& e) {
  std::string kept, late, over;
  for (const KeptFormat& f : e.formats) {
    std::string& list = f.role == FormatRole::Late ? late : f.role == FormatRole::OverLimit ? over : kept;
    list += (list.empty() ? "" : ", ") + format_label(f);
  }
  std::string line = "Kept: " + (kept.empty() ? std::string("nothing") : kept) + ".";
  if (!late.empty()) line += " Left out: " + late + " (not read in time).";
  if (!over.empty()) line += " Left out: " + over + " (the copy was over the size limit).";
  return line;
}

void paint_preview(HWND pane) {
  PaintScope paint(pane);
  HistoryWindowState* s = state_of(GetParent(pane));
  RECT area;
  GetClientRect(pane, &area);
  FillRect(paint.dc(), &area, GetSysColorBrush(COLOR_WINDOW));
  InflateRect(&area, -6, -4);
  if (s && !s->notice.empty()) {
    SelectedObject font(paint.dc(), s->font.get());
    SetBkMode(paint.dc(), TRANSPARENT);
    SetTextColor(paint.dc(), RGB(192, 0, 0));
    RECT line = area;
    DrawTextW(paint.dc(), s->notice.c_str(), static_cast<int>(s->notice.size()), &line,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    DrawTextW(paint.dc(), s->notice.c_str(), static_cast<int>(s->notice.size()), &line,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    area.top = line.bottom + 6;
  }
  const HistoryEntry* e = s ? selected_entry(*s) : nullptr;
  if (!e) return;
  SelectedObject font(paint.dc(), s->font.get());
  SetBkMode(paint.dc(), TRANSPARENT);
  if (!e->formats.empty() || e->origin) {
    // The line under the pane: where the copy was made, what the entry holds,
    // and what it left out.
    std::string bottom = e->origin ? "Copied on " + e->origin->machine + "." : std::string();
    if (!e->formats.empty()) bottom += (bottom.empty() ? "" : " ") + formats_line(*e);
    const std::wstring kept = widen(bottom);
    RECT line = area;
    DrawTextW(paint.dc(), kept.c_str(), static_cast<int>(kept.size()), &line,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    const LONG height = line.bottom - line.top;
    line = {area.left, std::max(area.top, area.bottom - height), area.right, area.bottom};
    SetTextColor(paint.dc(), GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(paint.dc(), kept.c_str(), static_cast<int>(kept.size()), &line,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    area.bottom = std::max(area.top, line.top - 4);
  }
  if (e->kind == EntryKind::Data) return;
  if (e->kind == EntryKind::Bitmap) {
    // Decoded here into a bounded picture: whatever size the bitmap claims,
    // the preview costs the pane's pixels, never the claim's.
    const std::span<const uint8_t> dib{reinterpret_cast<const uint8_t*>(e->data->data()), e->data->size()};
    const std::optional<DibPreview> picture =
        dib_preview(dib, static_cast<uint32_t>(std::max<LONG>(area.right - area.left, 1)),
                    static_cast<uint32_t>(std::max<LONG>(area.bottom - area.top, 1)));
    if (picture) draw_dib_preview(paint.dc(), *picture, area.left, area.top);
    return;
  }
  std::string_view text = *e->data;
  std::wstring wide;
  // What the pane can show: the first lines, not the whole text.
  text = text.substr(0, std::min(text.size(), kPreviewTextLimit));
  std::size_t line_end = 0;
  for (int line = 0; line < kPreviewLines && line_end != std::string_view::npos; ++line) {
    line_end = text.find('\n', line_end == 0 ? 0 : line_end + 1);
  }
  if (line_end != std::string_view::npos) text = text.substr(0, line_end);
  if (e->kind == EntryKind::UnicodeText || e->kind == EntryKind::Files) {
    wide = widen(text.substr(0, utf8_prefix(text, kPreviewTextLimit)));
  } else {
    wide = widen(ansi_to_utf8(text.substr(0, std::min(text.size(), kPreviewTextLimit))));
  }
  if (e->clipped) wide += L"\r\n\r\n(Only the first line of this entry was kept: it was too large.)";
  SetTextColor(paint.dc(), GetSysColor(COLOR_WINDOWTEXT));
  DrawTextW(paint.dc(), wide.c_str(), static_cast<int>(wide.size()), &area,
            DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL);
}

LRESULT CALLBACK preview_proc(HWND pane, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    return guarded(pane, [&] {
      paint_preview(pane);
      return LRESULT{0};
    });
  }
  return DefWindowProcW(pane, message, wparam, lparam);
}

// The message font at the window's DPI, for the search box and the list.
void apply_font(HistoryWindowState& s) {
  NONCLIENTMETRICSW metrics;
  if (!nonclient_metrics_for_dpi(metrics, s.dpi)) return;
  UniqueGdiObject font(CreateFontIndirectW(&metrics.lfMessageFont));
  if (!font) return;
  for (HWND child : {s.search, s.list}) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  s.font = std::move(font);
  InvalidateRect(s.preview, nullptr, TRUE);
}

void layout(HistoryWindowState& s) {
  RECT area;
  GetClientRect(s.window, &area);
  const int width = area.right, height = area.bottom;
  const int search_height = scaled(24, s.dpi), gap = scaled(4, s.dpi);
  const int list_width = width * 3 / 5;
  MoveWindow(s.search, gap, gap, width - 2 * gap, search_height, TRUE);
  const int top = search_height + 2 * gap;
  MoveWindow(s.list, gap, top, list_width - gap, std::max(0, height - top - gap), TRUE);
  MoveWindow(s.preview, list_width + gap, top, std::max(0, width - list_width - 2 * gap),
             std::max(0, height - top - gap), TRUE);
  // The preview column takes what the others leave.
  RECT inside;
  GetClientRect(s.list, &inside);
  int others = 0;
  for (int column = 1; column < kColumns; ++column) {
    others += static_cast<int>(SendMessageW(s.list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
  }
  SendMessageW(s.list, LVM_SETCOLUMNWIDTH, 0, std::max(scaled(80, s.dpi), static_cast<int>(inside.right) - others));
}

// Rows drawn in the selection colours even while the search box has the
// focus (where the list would draw them pale), and pinned rows in their own.
LRESULT draw_row(HistoryWindowState& s, NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const auto index = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
  const HistoryEntry* e = entry_at(s, index);
  if (SendMessageW(s.list, LVM_GETITEMSTATE, draw.nmcd.dwItemSpec, LVIS_SELECTED) & LVIS_SELECTED) {
    draw.nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
    draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
  } else if (e && e->pinned) {
    draw.clrText = RGB(0x80, 0, 0);
  }
  return CDRF_DODEFAULT;
}

void fill_cell(HistoryWindowState& s, NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= s.ids.size()) return;
  const HistoryEntry* e = entry_at(s, static_cast<std::size_t>(item.iItem));
  if (!e) return;
  std::string text;
  switch (item.iSubItem) {
    case 0: text = entry_preview(*e, ansi_to_utf8); break;
    case 1: text = age_text(e->time, static_cast<uint64_t>(time(nullptr))); break;
    case 2:
      if (e->formats.empty()) {
        text = std::to_string(e->size) + (e->kind == EntryKind::UnicodeText ? " chars" : " bytes");
      } else {
        text = std::to_string(entry_bytes(*e)) + " bytes";  // every format's
      }
      if (e->clipped) text += ", first line kept";
      break;
    case 3: text = e->pinned ? "pinned" : ""; break;
    case 4: text = e->origin ? e->origin->machine : ""; break;  // a copy received from another machine
  }
  s.cell = widen(text);
  item.pszText = s.cell.data();
}

LRESULT window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  HistoryWindowState* s = state_of(window);
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_SIZE:
      if (s && s->list) layout(*s);
      return 0;
    case WM_SETFOCUS:
      if (s) SetFocus(s->search);
      return 0;
    case WM_DPICHANGED:
      if (s) {
        const UINT old_dpi = s->dpi;
        s->dpi = HIWORD(wparam);
        apply_font(*s);
        for (int column = 1; column < kColumns; ++column) {
          const auto width = static_cast<int>(SendMessageW(s->list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
          SendMessageW(s->list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                       MulDiv(width, static_cast<int>(s->dpi), static_cast<int>(old_dpi)));
        }
        const RECT& r = *reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    case WM_TIMER:
      if (s && wparam == kPasteTimer) continue_paste(*s);
      return 0;
    case WM_COMMAND:
      if (s && LOWORD(wparam) == kSearchId && HIWORD(wparam) == EN_CHANGE) refilter(*s, false);
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (!s || header->idFrom != kListId) break;
      switch (header->code) {
        case LVN_GETDISPINFOW:
          fill_cell(*s, *reinterpret_cast<NMLVDISPINFOW*>(lparam));
          return 0;
        case LVN_ITEMCHANGED:
          s->notice.clear();
          InvalidateRect(s->preview, nullptr, TRUE);
          return 0;
        case NM_DBLCLK:
          recall_selected(*s, false);
          return 0;
        case NM_CUSTOMDRAW:
          return draw_row(*s, *reinterpret_cast<NMLVCUSTOMDRAW*>(lparam));
      }
      break;
    }
    case WM_CONTEXTMENU:
      if (s && reinterpret_cast<HWND>(wparam) == s->list) {
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        if (at.x == -1 && at.y == -1) {  // from the keyboard: at the selected row
          RECT row{LVIR_LABEL, 0, 0, 0};
          SendMessageW(s->list, LVM_GETITEMRECT, static_cast<WPARAM>(std::max(selected_index(*s), 0)),
                       reinterpret_cast<LPARAM>(&row));
          at = {row.left, row.bottom};
          ClientToScreen(s->list, &at);
        }
        show_context_menu(*s, at);
        return 0;
      }
      break;
    case WM_DESTROY:
      if (s) {
        RemoveWindowSubclass(s->search, keys_proc, kKeysSubclass);
        RemoveWindowSubclass(s->list, keys_proc, kKeysSubclass);
        if (s->app->history) s->app->history->window.reset();  // frees the state: last use
      }
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guarded(window, [&] { return window_message(window, message, wparam, lparam); });
}

bool register_classes(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kWindowClass;
  WNDCLASSEXW pane_class = window_class;
  pane_class.lpfnWndProc = preview_proc;
  pane_class.hIcon = nullptr;
  pane_class.hbrBackground = nullptr;
  pane_class.lpszClassName = kPreviewClass;
  registered = RegisterClassExW(&window_class) && RegisterClassExW(&pane_class);
  return registered;
}

}  // namespace

void open_history_window(App& app) {
  HistoryPart& h = *app.history;
  // Where Shift+Enter pastes: the window in front when the history was asked
  // for, unless that is one of the program's own.
  const HWND front = GetForegroundWindow();
  const bool foreign = front && front != app.main_window && (!h.window || front != h.window->window);
  if (h.window) {
    if (foreign) h.window->previous_foreground = front;
    ShowWindow(h.window->window, SW_RESTORE);
    SetForegroundWindow(h.window->window);
    SendMessageW(h.window->search, EM_SETSEL, 0, -1);
    SetFocus(h.window->search);
    return;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  if (!register_classes(app.instance)) return;
  auto state = std::make_shared<HistoryWindowState>();
  HistoryWindowState& s = *state;
  s.app = &app;
  s.previous_foreground = foreign ? front : nullptr;
  const UINT dpi = app.viewer.dpi;  // the main window's: it opens on that monitor
  s.dpi = dpi;
  s.window = CreateWindowExW(0, kWindowClass, kCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             CW_USEDEFAULT, CW_USEDEFAULT, scaled(760, dpi), scaled(480, dpi), nullptr, nullptr,
                             app.instance, &s);
  if (!s.window) return;
  h.window = state;
  s.dpi = window_dpi(s.window);
  s.search = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                             0, 0, 0, 0, s.window, reinterpret_cast<HMENU>(kSearchId), app.instance, nullptr);
  s.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                               LVS_SHOWSELALWAYS,
                           0, 0, 0, 0, s.window, reinterpret_cast<HMENU>(kListId), app.instance, nullptr);
  s.preview = CreateWindowExW(WS_EX_CLIENTEDGE, kPreviewClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, s.window,
                              reinterpret_cast<HMENU>(kPreviewId), app.instance, nullptr);
  apply_font(s);
  SendMessageW(s.search, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Type to search"));
  SendMessageW(s.list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  const struct {
    const wchar_t* title;
    int width;
  } columns[kColumns] = {{L"Entry", 250}, {L"Age", 52}, {L"Size", 96}, {L"Pinned", 50}, {L"Machine", 80}};
  for (int i = 0; i < kColumns; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(columns[i].title);
    column.cx = scaled(columns[i].width, s.dpi);
    column.iSubItem = i;
    SendMessageW(s.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
  }
  SetWindowSubclass(s.search, keys_proc, kKeysSubclass, reinterpret_cast<DWORD_PTR>(&s));
  SetWindowSubclass(s.list, keys_proc, kKeysSubclass, reinterpret_cast<DWORD_PTR>(&s));
  layout(s);
  refilter(s, false);
  ShowWindow(s.window, SW_SHOWNORMAL);
  SetForegroundWindow(s.window);
  SetFocus(s.search);
}

void close_history_window(App& app) {
  if (!app.history || !app.history->window) return;
  DestroyWindow(app.history->window->window);
}

void refresh_history_window(App& app) {
  if (!app.history || !app.history->window) return;
  refilter(*app.history->window, true);
}

}  // namespace kestrin
