/* Identifiers shared by the resource script, the program and its tests.
   Plain #defines only: windres reads this file too. */
#ifndef KESTRIN_RESOURCE_H
#define KESTRIN_RESOURCE_H

/* Icons */
#define IDI_PROGRAM 122
#define IDI_APPEND_1 123
#define IDI_APPEND_2 124
#define IDI_SHORT_TAIL 125

/* Menus ("Quorvane" is the class menu, by name) */
#define IDR_TRAY_MENU 125
#define IDR_HIDDEN_MENU 132

/* Dialogs */
#define IDD_CD_SWAP 126
#define IDD_HOW_MANY 138

// Modem Options (template MODEMOPTIONS): the four port buttons, COM n at 1008 + n.
#define IDC_MODEM_COM1 1009
#define IDC_MODEM_COM2 1010
#define IDC_MODEM_COM3 1011
#define IDC_MODEM_COM4 1012

// Stock History Ranges (template StockDates).
#define IDC_STOCK_YEAR_START 1001
#define IDC_STOCK_MONTH_START 1002
#define IDC_STOCK_DAY_START 1003
#define IDC_STOCK_YEAR_END 1004
#define IDC_STOCK_MONTH_END 1005
#define IDC_STOCK_DAY_END 1006
#define IDC_STOCK_TODAY 1007

/* Controls */
#define IDC_STATUS_BAR 101
#define IDC_STATUS_LENGTH 1011
#define IDC_STATUS_CR 1012
#define IDC_STATUS_LF 1013
#define IDC_STATUS_FF 1014
#define IDC_OPT_TOOL_BAR 1017
#define IDC_OPT_FLOATING 1025
#define IDC_OPT_DRIVE_SOURCE 1026
#define IDC_OPT_DRIVE_DESTINATION 1027
#define IDC_OPT_SHELL_LABEL 1028
#define IDC_OPT_AUTO_SCROLL 1046
#define IDC_OPT_SHELL_ATTEMPTS 1047
#define IDC_OPT_SHELL_SPIN 1048
#define IDC_OPT_MODEM_PORT 1049
#define IDC_OPT_MODEM_SPIN 1050
#define IDC_OPT_LEFT_CLICK 40004
#define IDC_HOW_MANY_PROMPT 1028
#define IDC_HOW_MANY_VALUE 1029
#define IDC_HOW_MANY_SPIN 1040

/* Private messages of the main window (WM_USER + n) */
#define WM_KESTRIN_TRAY 1025
#define WM_KESTRIN_CLEAR 1026
#define WM_KESTRIN_STAMP 1027
#define WM_KESTRIN_SLOT_LABELS 1028
// The stock worker has put a status text in its mailbox (the parameters carry nothing).
#define WM_KESTRIN_STOCK_STATUS 1029
// The next slice of a ticker scan of the stock command.
#define WM_KESTRIN_STOCK_SCAN 1030
// The history file was read on a worker: the load waits in the part's mailbox.
#define WM_KESTRIN_HISTORY_LOADED 1031
// The history writer has put a report in its mailbox.
#define WM_KESTRIN_HISTORY_STORE 1032
// The reader of a copy's formats has finished (the parameters carry nothing).
#define WM_KESTRIN_HISTORY_FORMATS 1033
// A text command running on its own thread has ended (the parameters carry nothing).
#define WM_KESTRIN_COMMAND_DONE 1034
// A clipboard change has been read on the reader's thread (the parameters carry nothing).
#define WM_KESTRIN_CHANGE_READ 1035
// A text command's worker has emptied the clipboard to write its result: the
// old text may go (the parameters carry nothing).
#define WM_KESTRIN_COMMAND_WRITING 1036
// The shared folder's thread has put what it read in its mailbox (the parameters carry nothing).
#define WM_KESTRIN_SYNC 1037
// A command line request waits in the pipe's mailbox (the parameters carry nothing).
#define WM_KESTRIN_REMOTE 1038

/* Commands: help and options */
#define IDM_ABOUT 101
#define IDM_STATUS_BAR 1016
#define IDM_SHOW_MENU 1043
#define IDM_TOOL_WINDOW_STYLE 1044
#define IDM_HIDE_CAPTION_BAR 1045
#define IDM_OPTIONS 40164
#define IDM_ALWAYS_ON_TOP 40082
#define IDM_TOGGLE_VISIBILITY 40162
#define IDM_TOGGLE_MAXIMIZED 40186
#define IDM_WINDOW_TO_BOTTOM 40187
#define IDM_AUTO_FOCUS 40006
#define IDM_BEEP_ON_CHANGE 40003
#define IDM_CONFIRM_EXIT 40085
#define IDM_LAUNCH_ON_SAVE 40089
#define IDM_SHELL_AUTOMATICALLY 40163
#define IDM_AUTO_CLEANUP 40183
#define IDM_DEBUG_DISPLAY 40001
#define IDM_LOG_DEBUGGING 40185
#define IDM_EXIT 40002
#define IDM_NEXT_IDEA 40165

/* Commands: clipboard monitor */
#define IDM_DELETE 40007
#define IDM_APPEND 40083
#define IDM_APPEND_OPTIONS 40084
#define IDM_APPEND_NO_SEPARATOR 40157
#define IDM_APPEND_SPACE 40158
#define IDM_APPEND_NEW_LINE 40159
#define IDM_APPEND_DOUBLE_NEW_LINE 40160
#define IDM_APPEND_FORM_FEED 40161
#define IDM_SHOW_STATUS_WINDOW 40149
#define IDM_FOREGROUND_COLOR 40042
#define IDM_BACKGROUND_COLOR 40043
#define IDM_FONT 40044

/* Commands: same-length replacements */
#define IDM_REVERSE_CASE 40009
#define IDM_LOWER_CASE 40010
#define IDM_UPPER_CASE 40011
#define IDM_PHONE_NUMBER 40012
#define IDM_CR_TO_LF 40014
#define IDM_LF_TO_CR 40015
#define IDM_CR_TO_FF 40016
#define IDM_FF_TO_CR 40017
#define IDM_FF_TO_LF 40018
#define IDM_LF_TO_FF 40019
#define IDM_FF_TO_SPACE 40028
#define IDM_CR_TO_SPACE 40030
#define IDM_LF_TO_SPACE 40031
#define IDM_SPACE_TO_CR 40032
#define IDM_SPACE_TO_LF 40033
#define IDM_SPACE_TO_FF 40034
#define IDM_CHESS_LEFT_RIGHT 40036
#define IDM_CHESS_TOP_BOTTOM 40037
#define IDM_CHESS_BOTH 40038
#define IDM_FORWARD_TO_REVERSE_SLASHES 40066
#define IDM_REVERSE_TO_FORWARD_SLASHES 40067
#define IDM_FLIP_SLASHES 40068

/* Commands: removals and expansions */
#define IDM_NEW_LINES_TO_FF 40008
#define IDM_EXCESS_FF 40020
#define IDM_EXCESS_NEW_LINES 40021
#define IDM_EXCESS_CR 40022
#define IDM_EXCESS_LF 40023
#define IDM_REMOVE_FF 40024
#define IDM_REMOVE_NEW_LINES 40025
#define IDM_REMOVE_CR 40026
#define IDM_REMOVE_LF 40027
#define IDM_NEW_LINES_TO_SPACES 40029
#define IDM_REMOVE_NON_ASCII 40039
#define IDM_TRAILING_WHITE_SPACE 40049
#define IDM_LEADING_WHITE_SPACE 40050
#define IDM_EXCESS_SPACES 40061
#define IDM_EXCESS_NEW_LINES_LEAVE_ONE 40071
#define IDM_REMOVE_SPACES 40073
#define IDM_REMOVE_PARENTHESES 40093
#define IDM_REMOVE_BRACKETS 40094
#define IDM_REMOVE_ANGLE_BRACKETS 40095
#define IDM_REMOVE_BRACES 40096
#define IDM_FF_TO_NEW_LINES 40004
#define IDM_SPACES_TO_NEW_LINES 40035

/* Commands: cleanup recipes */
#define IDM_CLEANUP_SINGLE_SPACED 40062
#define IDM_CLEANUP_DOUBLE_SPACED 40063
#define IDM_CLEANUP_SOURCE_CODE 40064
#define IDM_CLEANUP_PGN_COMMENTS 40065
#define IDM_CLEANUP_MEMO_PAD 40072
#define IDM_CLEANUP_SINGLE_LINE 40098
#define IDM_CLEANUP_WORD_PER_LINE 40099

/* Commands: insertions and generators */
#define IDM_STAMP_COMPACT 40045
#define IDM_STAMP_SLASHED 40046
#define IDM_PREPEND_STAMP 40047
#define IDM_ADD_CR 40057
#define IDM_ADD_NEW_LINES 40058
#define IDM_ADD_LF 40059
#define IDM_BINARY_WITH_NEW_LINES 40182

/* Commands: slots (store 40100 + i, recall 40120 + i) */
#define IDM_STORE_FIRST 40100
#define IDM_STORE_LAST 40119
#define IDM_RECALL_FIRST 40120
#define IDM_RECALL_LAST 40139
#define IDM_LOAD_CLIPS 40140
#define IDM_SAVE_CLIPS 40141
#define IDM_CLEAR_CLIPS 40142
#define IDM_AUTO_CLIP_FILE 40143
#define IDM_SORT_NONE 40146
#define IDM_SORT_ALPHABETICALLY 40147
#define IDM_SORT_TIME_ADDED 40148
#define IDM_SORT_LAST_USED 40168
#define IDM_SORT_TIMES_USED 40169

/* Commands: clipboard history */
#define IDM_KEEP_HISTORY 40190
#define IDM_HISTORY 40191
#define IDM_CLEAR_HISTORY 40192
#define IDM_CANCEL_COMMAND 40193
#define IDM_SHARE_HISTORY 40194
#define IDC_OPT_HOTKEYS 1051
#define IDC_OPT_IGNORE_RULES 1052

/* The "Share History" dialog */
#define IDD_SHARE_HISTORY 139
#define IDC_SHARE_FOLDER 1060
#define IDC_SHARE_BROWSE 1061
#define IDC_SHARE_PASSPHRASE 1062
#define IDC_SHARE_SEND 1063
#define IDC_SHARE_RECEIVE 1064
#define IDC_SHARE_TO_CLIPBOARD 1065
#define IDC_SHARE_STOP 1066

/* Commands: files and shell */
#define IDM_SAVE 40051
#define IDM_OPEN 40052
#define IDM_SAVE_AS 40074
#define IDM_DROP_IGNORES 40076
#define IDM_DROP_READS 40077
#define IDM_DROP_WRITES 40078
#define IDM_DROP_PALM_DOC 40079
#define IDM_DROP_PALM_DOC_LAUNCH 40080
#define IDM_DROP_FILE_NAMES 40081
#define IDM_SHELL_OPEN 40144
#define IDM_SHELL_EXPLORE 40145

/* Commands: extras */
#define IDM_MODEM_OPTIONS 40055
#define IDM_DIAL 40056
#define IDM_FETCH_CSV 40040
#define IDM_CSV_DATE_RANGE 40041
#define IDM_MY_HOME_PAGE 40069
#define IDM_KESTRIN_PAGE 40070
#define IDM_CD_TRAY 40090
#define IDM_CD_SWAP 40091
#define IDM_SCREEN_SAVER 40097
#define IDM_MINIMIZE_ALL 40150
#define IDM_RESTORE_ALL 40151
#define IDM_MAXIMIZE_ALL 40152
#define IDM_TOGGLE_ALL_VISIBILITY 40153
#define IDM_SWAP_MINIMIZED_RESTORED 40154
#define IDM_SWAP_MINIMIZED_MAXIMIZED 40155
#define IDM_SWAP_MAXIMIZED_RESTORED 40156
#define IDM_MONITOR_LOW_POWER 40166
#define IDM_MONITOR_OFF 40167

/* Menu items without their own handling yet */
#define IDM_FETCH_URLS 40048
#define IDM_FAKE_EMAIL_HTML 40180
#define IDM_AD_SERVER_TO_HOST 40181

#endif
