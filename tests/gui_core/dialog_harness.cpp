#include "dialog_harness.h"

#include <commctrl.h>

#include "ambcore.h"
#include "callcount.h"

namespace dialogtest {
namespace {
DialogHarness* active = nullptr;

int WINAPI BoxHook(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    return active != nullptr ? active->ShowBox(owner, text, caption, style)
                             : MessageBoxW(owner, text, caption, style);
}

INT_PTR WINAPI DialogHook(HINSTANCE instance, UINT templateId, HWND owner, DLGPROC procedure,
                          LPARAM param)
{
    if (active != nullptr)
        return active->OpenNested(instance, templateId, owner, procedure, param);
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, procedure, param);
}

// The script of the dialog being opened, run from a thread timer once the
// dialog's modal loop is running.
struct PendingScript
{
    const Script* script = nullptr;
    HWND dialog = nullptr;
    bool ran = false;
};
PendingScript* pending = nullptr;

void CALLBACK RunPendingScript(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    PendingScript* p = pending;
    pending = nullptr;
    if (p == nullptr || p->dialog == nullptr)
        return;
    p->ran = true;
    if (*p->script)
        (*p->script)(p->dialog);
    if (IsWindow(p->dialog))
        PostMessageW(p->dialog, WM_COMMAND, IDCANCEL, 0);
}

struct Wrapped
{
    DLGPROC procedure;
    LPARAM param;
    PendingScript* script;
};
Wrapped* wrapping = nullptr;

// Wraps the dialog procedure for WM_INITDIALOG only, to learn the dialog's
// window and start its script once the modal loop runs.
INT_PTR CALLBACK StartingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG && wrapping != nullptr) {
        Wrapped* w = wrapping;
        wrapping = nullptr;
        SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(w->procedure));
        w->script->dialog = dialog;
        pending = w->script;
        SetTimer(nullptr, 0, 10, RunPendingScript);
        return w->procedure(dialog, message, wParam, w->param);
    }
    return FALSE;
}

INT_PTR RunScripted(HINSTANCE instance, UINT templateId, HWND owner, DLGPROC procedure,
                    LPARAM param, const Script& script)
{
    PendingScript run;
    run.script = &script;
    Wrapped w = {procedure, param, &run};
    PendingScript* outer = pending;
    wrapping = &w;
    INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, StartingProc, param);
    wrapping = nullptr;
    if (!run.ran)
        pending = outer;
    return result;
}
} // namespace

DialogHarness::DialogHarness()
{
    // The redirection stays after the harness: without one the hooks show the
    // real box and dialog.
    active = this;
    RedirectImport("AMBMessageBoxW", reinterpret_cast<void*>(BoxHook));
    RedirectImport("AMBDialogBoxParamW", reinterpret_cast<void*>(DialogHook));
}

DialogHarness::~DialogHarness()
{
    active = nullptr;
}

INT_PTR DialogHarness::Run(UINT templateId, DLGPROC procedure, LPARAM param, const Script& script,
                           HWND owner)
{
    return RunScripted(GetModuleHandleW(nullptr), templateId, owner, procedure, param, script);
}

void DialogHarness::Answer(std::initializer_list<int> answers)
{
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void DialogHarness::OnDialog(UINT templateId, const Script& script)
{
    scripts_[templateId] = script;
}

int DialogHarness::ShowBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    boxes.push_back(
        {text != nullptr ? text : L"", caption != nullptr ? caption : L"", style, owner});
    if (!answers_.empty()) {
        int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    UINT buttons = style & MB_TYPEMASK;
    return buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDNO : IDOK;
}

INT_PTR DialogHarness::OpenNested(HINSTANCE instance, UINT templateId, HWND owner,
                                  DLGPROC procedure, LPARAM param)
{
    opened.push_back({templateId, owner, param});
    auto found = scripts_.find(templateId);
    if (found == scripts_.end())
        return unscriptedResult_;
    Script script = found->second;
    return RunScripted(instance, templateId, owner, procedure, param, script);
}

std::wstring Text(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr)
        return L"";
    int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(control, &text[0], length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

void SetText(HWND dialog, int id, const std::wstring& text)
{
    SetDlgItemTextW(dialog, id, text.c_str());
}

void Click(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (control != nullptr)
        SendMessageW(control, BM_CLICK, 0, 0);
}

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

bool Enabled(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

bool Exists(HWND dialog, int id)
{
    return GetDlgItem(dialog, id) != nullptr;
}

int Limit(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, id, EM_GETLIMITTEXT, 0, 0));
}

std::vector<std::wstring> ListBoxItems(HWND dialog, int id)
{
    std::vector<std::wstring> items;
    int count = static_cast<int>(SendDlgItemMessageW(dialog, id, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LRESULT length = SendDlgItemMessageW(dialog, id, LB_GETTEXTLEN, i, 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendDlgItemMessageW(dialog, id, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(wcslen(text.c_str()));
        items.push_back(text);
    }
    return items;
}

void AddListBoxItem(HWND dialog, int id, const std::wstring& text)
{
    SendDlgItemMessageW(dialog, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SelectListBoxItem(HWND dialog, int id, int index)
{
    SendDlgItemMessageW(dialog, id, LB_SETSEL, TRUE, index);
}

void Press(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<ListViewRow> ListViewRows(HWND dialog, int id)
{
    std::vector<ListViewRow> rows;
    HWND list = GetDlgItem(dialog, id);
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        ListViewRow row;
        wchar_t text[260] = {};
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = i;
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        row.text = text;
        row.image = item.iImage;
        row.checked = ((item.state & LVIS_STATEIMAGEMASK) >> 12) == 2;
        wchar_t second[260] = {};
        LVITEMW sub = {};
        sub.iSubItem = 1;
        sub.pszText = second;
        sub.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
        row.second = second;
        rows.push_back(row);
    }
    return rows;
}

void CheckListViewRow(HWND dialog, int id, int row, bool checked)
{
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendDlgItemMessageW(dialog, id, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace dialogtest
