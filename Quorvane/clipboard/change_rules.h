// Which clipboard notices the monitor handles, and what one handling does, on
// plain data. The Win32 side (change_win.cpp) gathers the inputs (the sequence
// number, the owner, its own counters) and carries out the answer.
// Platform-free.
#pragma once

#include <cstdint>
#include <optional>

namespace kestrin {

// Where a change notice comes from, as far as this thread's clipboard sessions
// tell.
enum class ChangeSource {
  Elsewhere,  // another program (or nothing of ours is closing)
  OwnWrite,   // the write of the session closing now (taken once per close)
  OwnRead,    // the close of a session that only read: nothing was copied.
              // Wine notifies viewers when a read makes it render a delayed
              // format; Windows never does.
};

struct Notice {
  ChangeSource source = ChangeSource::Elsewhere;
  uint32_t sequence = 0;                // the clipboard's sequence number now
  std::optional<uint32_t> handled;      // that of the last change handled
  int depth = 0;                        // handlings in progress on this thread
};

enum class NoticeAction {
  Handle,  // take the change now
  Repost,  // handle it after what runs now: post the notice to the window again
  Drop,    // nothing changed: a read of ours made Wine render a format
};

// A notice in the close of one of our reads is dropped unless the sequence
// number moved (another program's copy announced in the same close: it waits
// for the read to end). Another program's change that comes in the middle of
// a handling waits its turn, so that it is not taken for a write of ours. Our
// own write is handled at once, nested in its close.
NoticeAction decide_notice(const Notice& notice);

struct ChangeFacts {
  Notice notice;
  bool we_own_clipboard = false;  // the main window owns the clipboard now
  bool join_written = false;      // the write closing now is ours and we hold its text
                                  // (a join, or a text command on Unicode text)
  bool private_content = false;   // the copy is marked private
  bool append = false;            // Append is on
  int self_change = 0;            // writes of ours in progress
};

enum class ChangeText {
  Keep,     // the text handled last stays
  Written,  // the text of the join being written
  Read,     // what the clipboard holds now
};

struct ChangeDecision {
  bool changed = false;  // false: the change was handled already; only pass it on
  bool claim = false;    // record this sequence number as handled
  ChangeText text = ChangeText::Keep;
  bool join = false;     // join the text onto the snapshot and write it back
};

// One handling, inside the clipboard session it reads in:
// - a change already handled (a re-posted notice, one queued behind a burst)
//   is only passed on; our own write never counts as handled already;
// - our own write whose close another program's copy followed (we no longer
//   own the clipboard) does not claim the number: that copy's own notice is
//   handled in its turn; the join's text still stands for our write;
// - a join takes the text it wrote, not a read that could see a later copy;
// - a private copy is never joined; nor is anything while we write.
ChangeDecision decide_change(const ChangeFacts& facts);

}  // namespace kestrin
