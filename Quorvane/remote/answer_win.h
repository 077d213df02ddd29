// Carries out one request of kestrin.com on the window's thread, as the menus
// and the history window would, and says what to answer.
#pragma once

#include "app_win.h"
#include "remote/protocol.h"

namespace kestrin {

struct RemoteOutcome {
  remote::Answer answer;
  bool waits_for_command = false;  // a text command runs on its thread: answered when it ends
  bool close_after = false;        // exit: the program closes once the answer is on its way
};

RemoteOutcome answer_request(App& app, const remote::Request& request);

}  // namespace kestrin
