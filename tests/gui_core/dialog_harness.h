// In-process harness for Ambgui's dialog procedures: runs a dialog modally on
// this thread with a script that works its controls, records every message
// box (answering it from a queue) and every dialog opened from inside through
// Ambcore, and lets a test script those nested dialogs too.
//
// Message boxes and nested dialogs are caught by redirecting this program's
// imports of AMBMessageBoxW and AMBDialogBoxParamW while a DialogHarness lives.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dialogtest {

struct Box
{
    std::wstring text;
    std::wstring caption;
    UINT style = 0;
    HWND owner = nullptr;
};

struct OpenedDialog
{
    UINT templateId = 0;
    HWND owner = nullptr;
    LPARAM param = 0;
};

// A script runs once the dialog is up, inside its modal loop. When it returns
// and the dialog is still open, the harness cancels it (IDCANCEL).
using Script = std::function<void(HWND dialog)>;

class DialogHarness
{
public:
    DialogHarness();
    ~DialogHarness();
    DialogHarness(const DialogHarness&) = delete;
    DialogHarness& operator=(const DialogHarness&) = delete;

    // Runs template `templateId` of this program with `procedure` modally,
    // owned by `owner`, and returns its end value (-1 when it did not open).
    INT_PTR Run(UINT templateId, DLGPROC procedure, LPARAM param, const Script& script,
                HWND owner = nullptr);

    // Answers for the next message boxes, in order. With the queue empty a box
    // gets IDOK, or IDNO when it has a No button.
    void Answer(std::initializer_list<int> answers);
    // Message boxes shown so far (through AMBMessageBoxW).
    std::vector<Box> boxes;

    // Nested dialogs opened through AMBDialogBoxParamW are recorded; with a
    // script for their template they really open and run it, without one they
    // do not open and return `result` (default 2, Cancel).
    void OnDialog(UINT templateId, const Script& script);
    void ResultWithoutScript(INT_PTR result)
    {
        unscriptedResult_ = result;
    }
    std::vector<OpenedDialog> opened;

    // Called by the redirected imports.
    int ShowBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);
    INT_PTR OpenNested(HINSTANCE instance, UINT templateId, HWND owner, DLGPROC procedure,
                       LPARAM param);

private:
    std::deque<int> answers_;
    std::map<UINT, Script> scripts_;
    INT_PTR unscriptedResult_ = 2;
};

// ---- Working the controls of a dialog (all synchronous, on this thread) ----

std::wstring Text(HWND dialog, int id);
void SetText(HWND dialog, int id, const std::wstring& text);
// A click as a person makes it: BM_CLICK (check boxes toggle, buttons command).
void Click(HWND dialog, int id);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Exists(HWND dialog, int id);
// EM_GETLIMITTEXT of an edit control.
int Limit(HWND dialog, int id);
// The entries of a list box, and selecting some of them (multiple selection).
std::vector<std::wstring> ListBoxItems(HWND dialog, int id);
void AddListBoxItem(HWND dialog, int id, const std::wstring& text);
void SelectListBoxItem(HWND dialog, int id, int index);
// Presses OK (IDOK) or Cancel through WM_COMMAND, as the button would.
void Press(HWND dialog, int id);
// The list view's rows (column 0 and 1 texts, image, checked state) and checking one.
struct ListViewRow
{
    std::wstring text;
    std::wstring second;
    int image = -1;
    bool checked = false;
};
std::vector<ListViewRow> ListViewRows(HWND dialog, int id);
void CheckListViewRow(HWND dialog, int id, int row, bool checked);

// UTF-8, for readable failure messages.
std::string Utf8(const std::wstring& text);

} // namespace dialogtest
