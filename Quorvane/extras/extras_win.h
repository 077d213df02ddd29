// The extras on Windows: the modem dialer, the stock history fetch on its
// worker thread, and the desktop utilities.
#pragma once

#include "app_win.h"

namespace kestrin {

// Modem dialer.
void dial(App& app, unsigned id);            // 40056
void modem_options(App& app, unsigned id);   // 40055

// Stock history fetch.
void fetch_stock_history(App& app, unsigned id);  // 40040
void stock_date_range(App& app, unsigned id);     // 40041
// WM_KESTRIN_STOCK_STATUS: the status texts the worker put in the part's mailbox.
void show_stock_status(App& app);
// WM_KESTRIN_STOCK_SCAN: scans the next slice of the text a fetch copied.
void continue_stock_scan(App& app);
// Teardown: the worker is told to stop and has ended; the queue is emptied.
void stop_stock(App& app);

// Web helpers.
void fake_email_addresses(App& app, unsigned id);     // 40180
void add_ad_servers_to_hosts(App& app, unsigned id);  // 40181

// The extras' dialogs are painted like the program's others: the dialog brush,
// white text on a transparent background (WM_CTLCOLOR...).
INT_PTR extras_dialog_colours(const App* app, WPARAM wparam);

// Desktop utilities.
void toggle_cd_door(App& app, unsigned id);     // 40090
void cd_swap(App& app, unsigned id);            // 40091
void set_all_windows(App& app, unsigned id);    // 40150 to 40152
void swap_window_states(App& app, unsigned id); // 40154 to 40156
void toggle_all_visibility(App& app, unsigned id);  // 40153
void start_screen_saver(App& app, unsigned id); // 40097
void monitor_power(App& app, unsigned id);      // 40166, 40167
void open_home_page(App& app, unsigned id);     // 40069, 40070

}  // namespace kestrin
