#pragma once
#include <windows.h>

// Controls of the import preview (520) and result (521) templates.
#define IDC_IMPORT_FILE 1000
#define IDC_IMPORT_SUMMARY 1001
#define IDC_IMPORT_LIST 1002
#define IDC_IMPORT_EXACT 1003
#define IDC_IMPORT_PROGRESS 1004
#define IDC_IMPORT_NOTE 1005
#define IDC_IMPORT_COPY 1006
#define IDC_IMPORT_SAVE 1007
#define IDC_IMPORT_REMOVE 1008
#define IDC_IMPORT_REMOVE_GROUP 1009
#define IDC_IMPORT_PROFILES 1010
#define IDC_IMPORT_PASSWORD_FORM 1011
#define IDC_IMPORT_SLIPS 1012

#ifndef RC_INVOKED
struct ImportTable;

// One import from the file chosen to the result shown. The table belongs to
// the caller; the dialogs re-plan and apply it.
struct ImportSession
{
    ImportTable* table;
    LPCWSTR server;     // the server argument of the managed computer (null: this one)
    LPCWSTR path;       // the file, as chosen
    DWORD readStatus;   // 0, or ERROR_INVALID_DATA when the file has problems
    DWORD planStatus;   // the last plan's status
    bool passwordsKept; // the generated passwords were copied or saved
    // The group chosen for the deletions; the table's removeGroup points here.
    WCHAR removeGroup[257];
};

// Template 520 (lParam: ImportSession*): the plan row by row, or the file's
// problems with OK disabled; the exact-membership box and the deletions' box,
// group and profile box plan again; the password form is chosen for the new
// users; OK asks first when users will be deleted, applies the plan with a
// progress bar and ends the dialog with IDOK.
INT_PTR CALLBACK ImportPreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Template 521 (lParam: ImportSession*): the outcome of every row and the
// generated passwords, which leave the dialog only through its copy and save
// buttons (the passwords' list or the cards to hand out).
INT_PTR CALLBACK ImportResultDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The generated passwords as "name<TAB>password" lines after a title line,
// written as UTF-8 to `path`. Returns 0 or the failing call's status.
DWORD WriteImportPasswords(const ImportTable* table, LPCWSTR path);

// The menu command: asks for the file, reads and plans it against the managed
// computer, shows the preview and, once applied, refreshes the main window and
// shows the result.
void ImportAccounts(HWND window);
#endif
