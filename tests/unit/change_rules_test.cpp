// Which clipboard notices are handled and what a handling does, over the
// situations the monitor meets: its own writes and their nested notices, a
// notice re-posted in a close, an X11 copy imported during a read, a burst of
// notices for one copy, Wine's render notice, a private copy.
#include <gtest/gtest.h>

#include "clipboard/change_rules.h"

namespace kestrin {
namespace {

constexpr auto Elsewhere = ChangeSource::Elsewhere;
constexpr auto OwnWrite = ChangeSource::OwnWrite;
constexpr auto OwnRead = ChangeSource::OwnRead;

TEST(ChangeRules, WhichNoticesAreHandledNow) {
  struct Case {
    const char* what;
    Notice notice;
    NoticeAction expected;
  };
  const Case cases[] = {
      {"another program's copy", {Elsewhere, 8, 7, 0}, NoticeAction::Handle},
      {"the first copy after start", {Elsewhere, 8, std::nullopt, 0}, NoticeAction::Handle},
      {"a copy while a handling waits on the tray", {Elsewhere, 9, 8, 1}, NoticeAction::Repost},
      {"our own write, nested in its close", {OwnWrite, 9, 8, 1}, NoticeAction::Handle},
      {"Wine renders a format for our read", {OwnRead, 8, 8, 0}, NoticeAction::Drop},
      {"an X11 copy imported as our read opened", {OwnRead, 9, 8, 1}, NoticeAction::Repost},
      {"a read before anything was handled", {OwnRead, 3, std::nullopt, 0}, NoticeAction::Repost},
      {"a notice queued behind its copy", {Elsewhere, 8, 8, 0}, NoticeAction::Handle},
  };
  for (const Case& c : cases) EXPECT_EQ(decide_notice(c.notice), c.expected) << c.what;
}

ChangeFacts facts(ChangeSource source, uint32_t sequence, std::optional<uint32_t> handled) {
  ChangeFacts f;
  f.notice = {source, sequence, handled, 1};
  f.we_own_clipboard = source == OwnWrite;
  return f;
}

TEST(ChangeRules, WhatOneHandlingDoes) {
  // A burst, or a re-posted notice: the change was handled already.
  ChangeFacts burst = facts(Elsewhere, 8, 8);
  burst.append = true;
  EXPECT_FALSE(decide_change(burst).changed);

  // Another program's copy in append mode: read, claimed, joined.
  ChangeFacts copy = facts(Elsewhere, 9, 8);
  copy.append = true;
  ChangeDecision d = decide_change(copy);
  EXPECT_TRUE(d.changed && d.claim && d.join);
  EXPECT_EQ(d.text, ChangeText::Read);

  // Marked private: seen, never joined.
  copy.private_content = true;
  EXPECT_FALSE(decide_change(copy).join);

  // The join's own write: its own text, claimed even if the number was seen
  // (our write always counts), never joined again.
  ChangeFacts join = facts(OwnWrite, 10, 10);
  join.append = true;
  join.join_written = true;
  join.self_change = 1;
  d = decide_change(join);
  EXPECT_TRUE(d.changed && d.claim);
  EXPECT_FALSE(d.join);
  EXPECT_EQ(d.text, ChangeText::Written);

  // Another program copied between our close and our notice: the number is
  // left for its own notice; the join's text stands for our write.
  join.we_own_clipboard = false;
  d = decide_change(join);
  EXPECT_TRUE(d.changed);
  EXPECT_FALSE(d.claim);
  EXPECT_EQ(d.text, ChangeText::Written);
  join.join_written = false;  // a plain write of ours (a text command)
  EXPECT_EQ(decide_change(join).text, ChangeText::Keep);

  // A write of ours that is not a join (a recall in append mode is not our
  // change: no self-change count) is read and joined.
  ChangeFacts recall = facts(OwnWrite, 11, 10);
  recall.append = true;
  d = decide_change(recall);
  EXPECT_TRUE(d.claim && d.join);
  EXPECT_EQ(d.text, ChangeText::Read);
}

}  // namespace
}  // namespace kestrin
