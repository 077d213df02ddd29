#include "menu_states.h"

#include <gtest/gtest.h>

#include "res/resource.h"

namespace kestrin {
namespace {

Analysis analysed(std::string_view text) {
  Analysis a;
  a.clear_counts();
  analyse_text(text, a);
  return a;
}

// The last state given for an item and kind (later entries win when applied).
bool state_of(const std::vector<MenuItemState>& states, unsigned id, MenuItemState::Kind kind) {
  bool on = false, found = false;
  for (const MenuItemState& s : states) {
    if (s.id == id && s.kind == kind) {
      on = s.on;
      found = true;
    }
  }
  EXPECT_TRUE(found) << id;
  return on;
}

bool enabled(const std::vector<MenuItemState>& states, unsigned id) {
  return state_of(states, id, MenuItemState::Enable);
}

TEST(MenuStates, OneCarriageReturnAndTwoLineFeedsEnableTheNewLineItems) {
  const auto states = menu_states(Settings{}, analysed("a\r\nb\nc"), false);
  for (unsigned id : {IDM_EXCESS_NEW_LINES, IDM_REMOVE_NEW_LINES, IDM_NEW_LINES_TO_SPACES,
                      IDM_ADD_NEW_LINES, IDM_EXCESS_NEW_LINES_LEAVE_ONE, IDM_NEW_LINES_TO_FF,
                      IDM_CR_TO_LF, IDM_LF_TO_CR}) {
    EXPECT_TRUE(enabled(states, id)) << id;
  }
  EXPECT_FALSE(enabled(states, IDM_REMOVE_FF));
  EXPECT_FALSE(enabled(states, IDM_REMOVE_SPACES));
  const auto lone = menu_states(Settings{}, analysed("a\nb"), false);
  EXPECT_FALSE(enabled(lone, IDM_REMOVE_NEW_LINES));
  EXPECT_TRUE(enabled(lone, IDM_NEW_LINES_TO_FF));
}

TEST(MenuStates, BracketsAndSlashes) {
  const auto open_only = menu_states(Settings{}, analysed("f(x"), false);
  EXPECT_FALSE(enabled(open_only, IDM_REMOVE_PARENTHESES));
  EXPECT_TRUE(enabled(menu_states(Settings{}, analysed("f(x)"), false), IDM_REMOVE_PARENTHESES));
  const auto forward = menu_states(Settings{}, analysed("a/b"), false);
  EXPECT_TRUE(enabled(forward, IDM_FORWARD_TO_REVERSE_SLASHES));
  EXPECT_FALSE(enabled(forward, IDM_REVERSE_TO_FORWARD_SLASHES));
  EXPECT_TRUE(enabled(forward, IDM_FLIP_SLASHES));
  const auto reverse = menu_states(Settings{}, analysed("a\\b"), false);
  EXPECT_FALSE(enabled(reverse, IDM_FORWARD_TO_REVERSE_SLASHES));
  EXPECT_TRUE(enabled(reverse, IDM_REVERSE_TO_FORWARD_SLASHES));
  EXPECT_TRUE(enabled(reverse, IDM_FLIP_SLASHES));
}

TEST(MenuStates, EmptyClipboardAndBitmaps) {
  Analysis empty;
  empty.clear_counts();
  const auto none = menu_states(Settings{}, empty, true);
  EXPECT_FALSE(enabled(none, IDM_DELETE));
  EXPECT_FALSE(enabled(none, IDM_SAVE));
  EXPECT_FALSE(enabled(none, IDM_UPPER_CASE));
  empty.bitmap_present = true;
  EXPECT_TRUE(enabled(menu_states(Settings{}, empty, false), IDM_SAVE));
}

TEST(MenuStates, CheckMarksFollowTheSettings) {
  Settings s;
  s.AppendWith = IDM_APPEND_SPACE;
  s.AutoCleanupCommand = IDM_CLEANUP_SOURCE_CODE;
  s.DroppedFileOperation = kDropPalmDoc;
  s.Append = 7;  // any non-zero value is on
  const auto states = menu_states(s, analysed("x"), false);
  EXPECT_TRUE(state_of(states, IDM_APPEND_SPACE, MenuItemState::Check));
  EXPECT_TRUE(state_of(states, IDM_CLEANUP_SOURCE_CODE, MenuItemState::Check));
  EXPECT_TRUE(state_of(states, IDM_DROP_PALM_DOC, MenuItemState::Check));
  EXPECT_FALSE(state_of(states, IDM_DROP_IGNORES, MenuItemState::Check));
  EXPECT_TRUE(state_of(states, IDM_APPEND, MenuItemState::Check));
  EXPECT_TRUE(state_of(states, IDM_APPEND_OPTIONS, MenuItemState::Check));
  EXPECT_FALSE(state_of(states, IDM_STATUS_BAR, MenuItemState::Check));
}

}  // namespace
}  // namespace kestrin
