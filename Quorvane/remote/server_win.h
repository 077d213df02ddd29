// The program's end of the command line: a thread that listens on the pipe
// and one per connection (at most kMaxClients at once), each reading one
// request with a deadline and handing it to the window's thread, which
// carries it out as the menus would and hands the answer back.
#pragma once

#include <windows.h>

#include <memory>

#include "app_win.h"

namespace kestrin {

struct RemotePart;

// After the history has started; the pipe stays closed when it cannot be
// made (another program holds the name), and the program runs on without it.
void start_remote(App& app);
// Before the parts it uses stop: connections are dropped, threads joined.
void stop_remote(App& app);
// WM_KESTRIN_REMOTE: every request waiting is carried out. True when one
// asked the program to end (it closes as Exit does, without the question).
bool serve_remote_requests(App& app);
// The timer of a request that waits for a long text command to end.
void remote_wait_tick(App& app);

}  // namespace kestrin
