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
