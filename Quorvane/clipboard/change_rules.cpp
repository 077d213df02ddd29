#include "clipboard/change_rules.h"

namespace kestrin {

NoticeAction decide_notice(const Notice& notice) {
  if (notice.source == ChangeSource::OwnRead) {
    return notice.handled == notice.sequence ? NoticeAction::Drop : NoticeAction::Repost;
  }
  if (notice.depth > 0 && notice.source != ChangeSource::OwnWrite) return NoticeAction::Repost;
  return NoticeAction::Handle;
}

ChangeDecision decide_change(const ChangeFacts& facts) {
  const Notice& notice = facts.notice;
  const bool own_write = notice.source == ChangeSource::OwnWrite;
  ChangeDecision decision;
  if (!own_write && notice.handled == notice.sequence) return decision;
  decision.changed = true;
  if (own_write && !facts.we_own_clipboard) {
    decision.text = facts.join_written ? ChangeText::Written : ChangeText::Keep;
  } else {
    decision.claim = true;
    decision.text = facts.join_written ? ChangeText::Written : ChangeText::Read;
  }
  decision.join = facts.append && facts.self_change == 0 && !facts.private_content;
  return decision;
}

}  // namespace kestrin
