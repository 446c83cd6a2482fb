#pragma once

// Icons
#define IDI_APP 100
#define IDI_USER 101
#define IDI_USER_DISABLED 102
#define IDI_GROUP 103
#define IDI_LOCKOUT 104
#define IDI_PASSWORD 105
#define IDI_REMOTE 106

// Toolbar bitmaps: image i of the toolbar is bitmap IDB_TOOLBAR_FIRST + i.
#define IDB_TOOLBAR_FIRST 200
#define IDB_USER_ADD 200
#define IDB_USER_DELETE 201
#define IDB_USER_SETTINGS 202
#define IDB_GROUP_ADD 203
#define IDB_GROUP_DELETE 204
#define IDB_GROUP_SETTINGS 205
#define IDB_REMOTE 206
#define IDB_VIEW_ALL 207
#define IDB_VIEW_USERS 208
#define IDB_VIEW_GROUPS 209
#define IDB_HELP 210
#define IDB_TOOLBAR_COUNT 11
// The same pictures drawn at 20, 24 and 32 pixels for larger display scales,
// in the same order.
#define IDB_TOOLBAR_20_FIRST 220
#define IDB_TOOLBAR_24_FIRST 240
#define IDB_TOOLBAR_32_FIRST 260

// Menu bar and keyboard accelerators of the main window
#define IDM_MAIN 300
#define IDA_MAIN 301

// Dialog templates
#define IDD_ABOUT 500
#define IDD_ELEVATION 501
#define IDD_ADD_USER 502
#define IDD_USER_SETTINGS 503
#define IDD_ADD_GROUP 504
#define IDD_GROUP_SETTINGS 505
#define IDD_REMOTE 506
#define IDD_OPERATING_MODE 507
#define IDD_PICKER 508
#define IDD_PASSWORD_RESET 509
#define IDD_PROFILE 510
#define IDD_LOGON_HOURS 511
#define IDD_ACCOUNT_EXPIRY 512
#define IDD_RENAME 513
#define IDD_TYPED_NAMES 514
#define IDD_IMPORT_PREVIEW 520
#define IDD_IMPORT_RESULT 521
#define IDD_VAULT_PASSPHRASE 522
#define IDD_VAULT 523
#define IDD_POLICY 540
#define IDD_ADD_USER_PERSONAL 700
#define IDD_USER_SETTINGS_PERSONAL 701

// Main window commands (menu, toolbar, accelerators, messages from dialogs)
#define CMD_EXIT 40000
#define CMD_ADD_USER 40001
#define CMD_USER_SETTINGS 40002
#define CMD_DELETE_USER 40003
#define CMD_ADD_GROUP 40004
#define CMD_GROUP_SETTINGS 40005
#define CMD_DELETE_GROUP 40006
#define CMD_REMOTE 40007
#define CMD_OPERATING_MODE 40008
#define CMD_SHOW_BUILTIN 40009
#define CMD_HELP 40010
#define CMD_ABOUT 40011
#define CMD_VIEW_ALL 40012
#define CMD_VIEW_USERS 40013
#define CMD_VIEW_GROUPS 40014
#define CMD_REFRESH 40015
#define CMD_RENAME 40016
#define CMD_SAVE_REPORT 40017
#define CMD_IMPORT 40018
#define CMD_OPEN_VAULT 40019
#define CMD_POLICY 40030

// Commands of the member popup of the group dialogs
#define CMD_PICK_USERS 50000
#define CMD_TYPE_NAMES 50001

// Command id of the toolbar separator after the remote-management button, so
// that both can be hidden together.
#define CMD_REMOTE_SEPARATOR 2048

// Child windows of the main window
#define IDC_ACCOUNT_LIST 1000
#define IDC_DETAILS_LIST 1001
#define IDC_MAIN_TOOLBAR 1100

// Controls of the operating-mode dialog
#define IDC_MODE_PERSONAL 1000
#define IDC_MODE_ADVANCED 1001

// Controls of the remote-management dialog
#define IDC_REMOTE_NAME 1000
#define IDC_REMOTE_NOTE_ICON 1001
#define IDC_REMOTE_USER 1002
#define IDC_REMOTE_PASSWORD 1003

// Controls of the rename dialog
#define IDC_RENAME_CURRENT 1000
#define IDC_RENAME_NEW 1001

// Controls of the elevation dialog
#define IDC_ELEVATION_ICON 1000

// Controls of the About dialog
#define IDC_ABOUT_ICON 1000
#define IDC_ABOUT_NAME 1001
#define IDC_ABOUT_VERSION 1002
#define IDC_ABOUT_RIGHTS 1003
#define IDC_ABOUT_PLATFORM 1004
#define IDC_ABOUT_WEB 1005
#define IDC_ABOUT_MAIL 1006
