// The account import of the window program: the file chosen, its plan shown
// for approval, applied with a progress bar, and the outcome of every row with
// the passwords made for new users.
#include "import_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <lm.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <initializer_list>

#include "accountimport.h"
#include "ambcore.h"
#include "dialogsupport.h"
#include "dpi.h"
#include "globals.h"
#include "resource.h"
#include "textformat.h"

namespace {
constexpr LPCWSTR ImportCaption = L"アカウントのインポート";
constexpr LPCWSTR ImportErrorCaption = L"アカウントのインポート エラー";
constexpr size_t CellChars = 1024;
// The progress callback lets waiting input through at most this often (ms).
constexpr DWORD PumpInterval = 50;

// A list-view column: its title and its width in pixels at 96 DPI.
struct ColumnSpec
{
    LPCWSTR title;
    int width;
};

const ColumnSpec PreviewColumns[] = {
    {L"行", 39}, {L"種類", 63}, {L"名前", 108}, {L"処理", 72}, {L"詳細", 363}};
const ColumnSpec ResultColumns[] = {
    {L"行", 39}, {L"種類", 63}, {L"名前", 108}, {L"結果", 309}, {L"パスワード", 126}};
constexpr int PasswordColumn = 4;

ImportSession* SessionOf(HWND dialog)
{
    return reinterpret_cast<ImportSession*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void InitList(HWND dialog, const ColumnSpec* columns, int count)
{
    HWND list = GetDlgItem(dialog, IDC_IMPORT_LIST);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    DWORD current = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, current | styles);
    UINT dpi = DpiForWindow(dialog);
    for (int i = 0; i < count; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = ScaleToDpi(columns[i].width, dpi);
        column.pszText = const_cast<LPWSTR>(columns[i].title);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SetWindowTheme(list, L"Explorer", nullptr);
}

// Appends a row whose first cell is `first`; lParam keeps the table row.
int AppendRow(HWND list, LPCWSTR first, LPARAM row)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<LPWSTR>(first);
    item.lParam = row;
    return static_cast<int>(
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void SetCell(HWND list, int item, int column, LPCWSTR text)
{
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<LPWSTR>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
}

LPCWSTR KindName(const ImportRow& row)
{
    return row.group ? L"グループ" : L"ユーザー";
}

// Line, kind and name of a table row: the cells both lists start with.
int AppendTableRow(HWND list, const ImportTable* table, DWORD index, LPWSTR cell)
{
    const ImportRow& row = table->rows[index];
    FormatBounded(cell, CellChars, L"%lu", row.line);
    int item = AppendRow(list, cell, static_cast<LPARAM>(index));
    if (item >= 0) {
        SetCell(list, item, 1, KindName(row));
        SetCell(list, item, 2, row.cells[ColumnName]);
    }
    return item;
}

// The deletions in their own section after the file's rows: a heading, then
// each member of the group that the file does not list, to be deleted or kept
// with the reason (in the result: deleted, or failed with the reason).
void FillRemovals(HWND list, const ImportTable* table, LPWSTR cell, bool applied)
{
    if (table->removeGroup == nullptr)
        return;
    int heading = AppendRow(list, L"", -1);
    if (heading >= 0) {
        SetCell(list, heading, 1, L"[削除]");
        FormatBounded(cell, CellChars, L"ファイルにないグループ「%s」のメンバー: %lu 人",
                      table->removeGroup, table->removalCount);
        SetCell(list, heading, applied ? 3 : 4, cell);
    }
    for (DWORD i = 0; i < table->removalCount; ++i) {
        const ImportRemoval& removal = table->removals[i];
        int item = AppendRow(list, L"", -1);
        if (item < 0)
            continue;
        SetCell(list, item, 1, L"ユーザー");
        SetCell(list, item, 2, removal.name);
        DescribeImportRemoval(table, i, cell, CellChars);
        if (applied) {
            SetCell(list, item, 3, cell);
        } else {
            SetCell(list, item, 3, removal.kept != nullptr ? L"削除しない" : L"削除");
            SetCell(list, item, 4, removal.kept != nullptr ? removal.kept : cell);
        }
    }
}

// The row that starts at `line` (rows are in file order), or null.
const ImportRow* RowAtLine(const ImportTable* table, DWORD line)
{
    DWORD low = 0;
    DWORD high = table->rowCount;
    while (low < high) {
        DWORD middle = low + (high - low) / 2;
        if (table->rows[middle].line < line)
            low = middle + 1;
        else
            high = middle;
    }
    return low < table->rowCount && table->rows[low].line == line ? &table->rows[low] : nullptr;
}

void FillPlan(HWND list, const ImportTable* table, LPWSTR cell)
{
    for (DWORD i = 0; i < table->rowCount; ++i) {
        int item = AppendTableRow(list, table, i, cell);
        if (item < 0)
            continue;
        SetCell(list, item, 3, ImportActionName(table->rows[i]));
        DescribeImportPlan(table, i, cell, CellChars);
        SetCell(list, item, 4, cell);
    }
    FillRemovals(list, table, cell, false);
}

// Every problem with its line; the column is named in its text.
void FillProblems(HWND list, const ImportTable* table, LPWSTR cell)
{
    for (DWORD i = 0; i < table->problemCount; ++i) {
        const ImportProblem& problem = table->problems[i];
        if (problem.line == 0)
            cell[0] = L'\0';
        else
            FormatBounded(cell, CellChars, L"%lu", problem.line);
        int item = AppendRow(list, cell, -1);
        if (item < 0)
            continue;
        const ImportRow* row = problem.line != 0 ? RowAtLine(table, problem.line) : nullptr;
        if (row != nullptr) {
            // As written: the kind itself may be what is wrong.
            SetCell(list, item, 1, row->cells[ColumnKind]);
            SetCell(list, item, 2, row->cells[ColumnName]);
        } else if (problem.line == 1) {
            SetCell(list, item, 1, L"見出し");
        }
        SetCell(list, item, 3, L"エラー");
        SetCell(list, item, 4, problem.text);
    }
}

// The deletions' counts and the form of the passwords to be made, after the
// rows' counts; returns the characters used, or -1.
int AppendPreviewNotes(const ImportTable& table, const ImportCounts& counts, LPWSTR text, int used)
{
    if (used >= 0 && table.removeGroup != nullptr) {
        int more = FormatBounded(text + used, CellChars - used, L"削除 %lu 人、削除しない %lu 人。",
                                 counts.remove, counts.kept);
        used = more >= 0 ? used + more : -1;
    }
    if (used >= 0 && ImportGeneratesPasswords(&table)) {
        int more = FormatBounded(text + used, CellChars - used, L"\n生成するパスワード: %s",
                                 ImportPasswordFormName(table.passwordForm));
        used = more >= 0 ? used + more : -1;
    }
    return used;
}

void ShowPreviewSummary(HWND dialog, const ImportSession& session, LPWSTR text)
{
    const ImportTable* table = session.table;
    if (session.readStatus != 0 || session.planStatus == ERROR_INVALID_DATA) {
        int used = FormatBounded(
            text, CellChars,
            L"ファイルに問題があるため、インポートできません。\n次の問題を修正してから、もう一度インポートしてください。");
        if (table->problemsNotListed > 0 && used >= 0)
            FormatBounded(text + used, CellChars - used, L"(ほかに %lu 件の問題があります。)",
                          table->problemsNotListed);
    } else if (session.planStatus != 0) {
        FormatBounded(text, CellChars, L"アカウントを読み取れなかったため、インポートできません。");
    } else {
        ImportCounts counts = CountImport(table);
        int used = FormatBounded(text, CellChars,
                                 L"%s、%s、%lu 行: 作成 %lu 件、変更 %lu 件、変更なし %lu 件。",
                                 table->encoding, table->separator == L'\t' ? L"TSV" : L"CSV",
                                 table->rowCount, counts.create, counts.change, counts.nothing);
        used = AppendPreviewNotes(*table, counts, text, used);
        if (used >= 0)
            FormatBounded(text + used, CellChars - used,
                          L"\n内容を確認して [OK] ボタンを押すと、インポートを開始します。");
    }
    SetDlgItemTextW(dialog, IDC_IMPORT_SUMMARY, text);
}

void ShowPlan(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    HWND list = GetDlgItem(dialog, IDC_IMPORT_LIST);
    LPWSTR cell = AllocBuffer(CellChars);
    if (cell == nullptr)
        return;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    bool applicable = session->readStatus == 0 && session->planStatus == 0;
    if (session->readStatus != 0 || session->planStatus == ERROR_INVALID_DATA)
        FillProblems(list, session->table, cell);
    else if (applicable)
        FillPlan(list, session->table, cell);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    ShowPreviewSummary(dialog, *session, cell);
    EnableWindow(GetDlgItem(dialog, IDOK), applicable);
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_PASSWORD_FORM),
                 applicable && ImportGeneratesPasswords(session->table));
    FreeBuffer(cell);
}

bool IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The deletions as the boxes and the group list now say: into the table, for
// the next plan and the apply. Profiles go on this computer only.
void TakeRemovalChoice(HWND dialog, ImportSession* session)
{
    ImportTable* table = session->table;
    HWND groups = GetDlgItem(dialog, IDC_IMPORT_REMOVE_GROUP);
    bool remove = IsChecked(dialog, IDC_IMPORT_REMOVE);
    int index = static_cast<int>(SendMessageW(groups, CB_GETCURSEL, 0, 0));
    LRESULT length = index >= 0 ? SendMessageW(groups, CB_GETLBTEXTLEN, index, 0) : CB_ERR;
    session->removeGroup[0] = L'\0';
    if (remove && length >= 0 && static_cast<size_t>(length) < ARRAYSIZE(session->removeGroup))
        SendMessageW(groups, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(session->removeGroup));
    table->removeGroup = session->removeGroup[0] != L'\0' ? session->removeGroup : nullptr;
    table->deleteProfiles = table->removeGroup != nullptr && session->server == nullptr &&
                            IsChecked(dialog, IDC_IMPORT_PROFILES);
    bool planned = session->readStatus == 0;
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_REMOVE_GROUP), planned && remove);
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_PROFILES),
                 planned && remove && session->server == nullptr);
}

// The password form chosen in its list (the strong form unless changed).
void TakePasswordForm(HWND dialog, ImportTable* table)
{
    HWND forms = GetDlgItem(dialog, IDC_IMPORT_PASSWORD_FORM);
    int index = static_cast<int>(SendMessageW(forms, CB_GETCURSEL, 0, 0));
    LRESULT form = index >= 0 ? SendMessageW(forms, CB_GETITEMDATA, index, 0) : CB_ERR;
    table->passwordForm = form == ImportPasswordsEasy ? ImportPasswordsEasy : ImportPasswordsStrong;
}

// A box, the group list or the password form changed: the whole file is
// planned again with every choice as it now stands.
void Replan(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    TakeRemovalChoice(dialog, session);
    TakePasswordForm(dialog, session->table);
    if (session->readStatus != 0)
        return;
    bool exact = IsChecked(dialog, IDC_IMPORT_EXACT);
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    session->planStatus = PlanImport(session->table, session->server, exact);
    SetCursor(previous);
    ShowPlan(dialog);
    if (session->planStatus != 0 && session->planStatus != ERROR_INVALID_DATA)
        ShowPlatformError(dialog, L"アカウントを読み取れませんでした。\n(エラー詳細 : %s)",
                          ImportErrorCaption, session->planStatus);
}

// The target's local groups, for the deletions. The file's first group row
// that names one of them is chosen (an April file lists its class group).
void FillRemoveGroups(HWND dialog, const ImportSession& session)
{
    HWND groups = GetDlgItem(dialog, IDC_IMPORT_REMOVE_GROUP);
    DWORD_PTR resume = 0;
    NET_API_STATUS status;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = NetLocalGroupEnum(session.server, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                   &resume);
        auto* found = reinterpret_cast<LOCALGROUP_INFO_0*>(buffer);
        for (DWORD i = 0; (status == NERR_Success || status == ERROR_MORE_DATA) && i < read; ++i)
            SendMessageW(groups, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found[i].lgrpi0_name));
        if (buffer != nullptr)
            NetApiBufferFree(buffer);
    } while (status == ERROR_MORE_DATA);
    int chosen = 0;
    for (DWORD i = 0; i < session.table->rowCount && chosen == 0; ++i) {
        const ImportRow& row = session.table->rows[i];
        int index =
            row.group
                ? static_cast<int>(SendMessageW(groups, CB_FINDSTRINGEXACT, -1,
                                                reinterpret_cast<LPARAM>(row.cells[ColumnName])))
                : CB_ERR;
        if (index >= 0)
            chosen = index;
    }
    SendMessageW(groups, CB_SETCURSEL, chosen, 0);
    bool any = SendMessageW(groups, CB_GETCOUNT, 0, 0) > 0;
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_REMOVE), session.readStatus == 0 && any);
}

void FillPasswordForms(HWND dialog, ImportPasswordForm current)
{
    HWND forms = GetDlgItem(dialog, IDC_IMPORT_PASSWORD_FORM);
    for (ImportPasswordForm form : {ImportPasswordsStrong, ImportPasswordsEasy}) {
        LRESULT index = SendMessageW(forms, CB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(ImportPasswordFormName(form)));
        SendMessageW(forms, CB_SETITEMDATA, index, form);
        if (form == current)
            SendMessageW(forms, CB_SETCURSEL, index, 0);
    }
    EnableWindow(forms, FALSE);
}

void InitPreview(HWND dialog, ImportSession* session)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(session));
    SetDlgItemTextW(dialog, IDC_IMPORT_FILE, session->path);
    InitList(dialog, PreviewColumns, ARRAYSIZE(PreviewColumns));
    CheckDlgButton(dialog, IDC_IMPORT_EXACT, session->table->exact ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_EXACT), session->readStatus == 0);
    FillRemoveGroups(dialog, *session);
    CheckDlgButton(dialog, IDC_IMPORT_REMOVE,
                   session->table->removeGroup != nullptr ? BST_CHECKED : BST_UNCHECKED);
    TakeRemovalChoice(dialog, session);
    FillPasswordForms(dialog, session->table->passwordForm);
    ShowWindow(GetDlgItem(dialog, IDC_IMPORT_PROGRESS), SW_HIDE);
    ShowPlan(dialog);
}

// Lets the input and painting that waited through, so that the window stays
// alive while the rows are written. Every control is disabled meanwhile and
// Cancel is ignored, so nothing can act on the table.
void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

struct ApplyProgress
{
    HWND bar;
    DWORD lastPump;
};

bool ReportApplyProgress(DWORD done, DWORD total, void* context)
{
    auto* progress = static_cast<ApplyProgress*>(context);
    SendMessageW(progress->bar, PBM_SETRANGE32, 0, total);
    SendMessageW(progress->bar, PBM_SETPOS, done, 0);
    DWORD now = GetTickCount();
    if (done == 0 || done == total || now - progress->lastPump >= PumpInterval) {
        UpdateWindow(progress->bar);
        PumpMessages();
        progress->lastPump = now;
    }
    return true;
}

// Users to be deleted: named by count, with what deleting an account costs,
// before anything is written. No is the default.
bool ConfirmRemovals(HWND dialog, const ImportTable* table)
{
    DWORD users = CountImport(table).remove;
    if (users == 0)
        return true;
    LPWSTR text = AllocBuffer(CellChars * 2);
    if (text == nullptr)
        return false;
    FormatBounded(
        text, CellChars * 2,
        L"グループ「%s」のメンバーで、ファイルにない %lu 人のユーザーを削除しようとしています。ファイルの各行を処理した後に削除します。\n\nユーザーやローカル グループはセキュリティ識別子 (Security Identifier。以下 SID) と呼ばれる識別子を持っており、Windows 上ではこの SID によって管理されています。\n削除後、同一名でユーザーを再作成した場合も新たに SID が発行され、システム上ではまったく異なるものとして扱われます。\n\n%s\n\n%lu 人のユーザーを本当に削除してもよろしいですか？",
        table->removeGroup, users,
        table->deleteProfiles
            ? L"ユーザー プロファイルも同時に削除します。ユーザー プロファイル フォルダ内に保存されているファイルはすべて削除されます。"
            : L"削除しようとしているユーザーにユーザー プロファイルがある場合、保存されているユーザー プロファイル フォルダ内のファイルが使用できなくなることがあります。",
        users);
    bool yes = AMBMessageBoxW(dialog, text, L"ユーザーの削除の確認",
                              MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) == IDYES;
    FreeBuffer(text);
    return yes;
}

void ApplyPlan(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    if (session->readStatus != 0 || session->planStatus != 0)
        return;
    if (!ConfirmRemovals(dialog, session->table))
        return;
    // Marks the dialog busy: IDCANCEL and a second OK are ignored from here.
    SetPropW(dialog, L"AmbImportBusy", reinterpret_cast<HANDLE>(1));
    for (int id : {IDC_IMPORT_LIST, IDC_IMPORT_EXACT, IDC_IMPORT_REMOVE, IDC_IMPORT_REMOVE_GROUP,
                   IDC_IMPORT_PROFILES, IDC_IMPORT_PASSWORD_FORM, IDOK, IDCANCEL})
        EnableWindow(GetDlgItem(dialog, id), FALSE);
    SetDlgItemTextW(dialog, IDC_IMPORT_SUMMARY, L"インポートしています。しばらくお待ちください...");
    ApplyProgress progress = {GetDlgItem(dialog, IDC_IMPORT_PROGRESS), GetTickCount()};
    ShowWindow(progress.bar, SW_SHOW);
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    ApplyImport(session->table, session->server, ReportApplyProgress, &progress);
    SetCursor(previous);
    RemovePropW(dialog, L"AmbImportBusy");
    EndDialog(dialog, IDOK);
}

bool IsBusy(HWND dialog)
{
    return GetPropW(dialog, L"AmbImportBusy") != nullptr;
}

// ---- The result ------------------------------------------------------------

void FillResults(HWND list, const ImportTable* table, LPWSTR cell)
{
    for (DWORD i = 0; i < table->rowCount; ++i) {
        int item = AppendTableRow(list, table, i, cell);
        if (item < 0)
            continue;
        DescribeImportResult(table, i, cell, CellChars);
        SetCell(list, item, 3, cell);
        // Asked for when drawn: the list keeps no copy of a password.
        if (table->rows[i].generatedPassword)
            SetCell(list, item, PasswordColumn, LPSTR_TEXTCALLBACKW);
    }
    FillRemovals(list, table, cell, true);
}

// The password cells: copied into the list's own buffer for one drawing.
void GivePasswordCell(HWND dialog, NMLVDISPINFOW* info)
{
    const ImportTable* table = SessionOf(dialog)->table;
    LVITEMW& item = info->item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    item.pszText[0] = L'\0';
    if (item.iSubItem != PasswordColumn || item.lParam < 0 ||
        static_cast<DWORD>(item.lParam) >= table->rowCount)
        return;
    const ImportRow& row = table->rows[item.lParam];
    if (row.generatedPassword)
        FormatBounded(item.pszText, static_cast<size_t>(item.cchTextMax), L"%s", row.password);
}

// The rows' outcome, then the deletions' when there were any to make.
void ShowResultSummary(const ImportTable& table, const ImportCounts& counts, LPWSTR text)
{
    bool failed = counts.failed > 0 || counts.removeFailed > 0;
    int used =
        failed
            ? FormatBounded(
                  text, CellChars,
                  L"インポートが完了しましたが、失敗した行があります。成功 %lu 件、失敗 %lu 件。",
                  counts.done, counts.failed)
            : FormatBounded(text, CellChars, L"インポートが完了しました。成功 %lu 件、失敗 0 件。",
                            counts.done);
    if (used >= 0 && table.removeGroup != nullptr) {
        int more = FormatBounded(text + used, CellChars - used,
                                 L"\n削除 %lu 人、削除の失敗 %lu 人、削除しない %lu 人。",
                                 counts.removed, counts.removeFailed, counts.kept);
        used = more >= 0 ? used + more : -1;
    }
    if (used >= 0 && failed)
        FormatBounded(
            text + used, CellChars - used,
            L"\n失敗した行は、結果の理由を確認してください。ほかの行は処理されています。");
}

void InitResult(HWND dialog, ImportSession* session)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(session));
    InitList(dialog, ResultColumns, ARRAYSIZE(ResultColumns));
    LPWSTR text = AllocBuffer(CellChars);
    if (text == nullptr)
        return;
    FillResults(GetDlgItem(dialog, IDC_IMPORT_LIST), session->table, text);
    ImportCounts counts = CountImport(session->table);
    ShowResultSummary(*session->table, counts, text);
    SetDlgItemTextW(dialog, IDC_IMPORT_SUMMARY, text);
    if (counts.passwords > 0)
        FormatBounded(
            text, CellChars,
            L"%lu 人の新しいユーザーにパスワードを生成しました (次回ログイン時に変更が必要です)。パスワードはこの画面を閉じると二度と表示できません。必要に応じてコピーまたは保存してください。",
            counts.passwords);
    else
        FormatBounded(text, CellChars, L"パスワードを生成したユーザーはありません。");
    SetDlgItemTextW(dialog, IDC_IMPORT_NOTE, text);
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_COPY), counts.passwords > 0);
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_SAVE), counts.passwords > 0);
    EnableWindow(GetDlgItem(dialog, IDC_IMPORT_SLIPS), counts.passwords > 0);
    FreeBuffer(text);
}

// The characters of the password lines, terminator included.
size_t PasswordTextChars(const ImportTable* table)
{
    size_t chars = wcslen(L"名前\tパスワード\r\n") + 1;
    for (DWORD i = 0; i < table->rowCount; ++i)
        if (table->rows[i].generatedPassword)
            chars += wcslen(table->rows[i].cells[ColumnName]) + 1 + ImportPasswordChars + 2;
    return chars;
}

// Writes the lines into `text` (of PasswordTextChars characters).
void PutPasswordText(const ImportTable* table, LPWSTR text, size_t chars)
{
    int used = FormatBounded(text, chars, L"名前\tパスワード\r\n");
    for (DWORD i = 0; i < table->rowCount && used >= 0; ++i) {
        const ImportRow& row = table->rows[i];
        if (!row.generatedPassword)
            continue;
        int line = FormatBounded(text + used, chars - used, L"%s\t%s\r\n", row.cells[ColumnName],
                                 row.password);
        used = line >= 0 ? used + line : -1;
    }
}

// The clipboard gets its own block, filled in place: no other copy is made.
DWORD CopyPasswords(HWND dialog, const ImportTable* table)
{
    return PutOnClipboardInPlace(dialog, PasswordTextChars(table), [&](LPWSTR text, size_t chars) {
        PutPasswordText(table, text, chars);
    });
}

void OnCopyPasswords(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    DWORD status = CopyPasswords(dialog, session->table);
    if (status != 0) {
        ShowPlatformError(
            dialog, L"パスワードをクリップボードにコピーできませんでした。\n(エラー詳細 : %s)",
            ImportErrorCaption, status);
        return;
    }
    session->passwordsKept = true;
    AMBMessageBoxW(
        dialog,
        L"生成したパスワードをクリップボードにコピーしました。\n貼り付けが済んだら、クリップボードにほかの内容をコピーして、パスワードを消してください。",
        ImportCaption, MB_ICONINFORMATION);
}

bool AskPasswordFileName(HWND dialog, LPWSTR path)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    FormatBounded(path, PathChars, L"Ambrelle-パスワード-%04d%02d%02d.txt", today.wYear,
                  today.wMonth, today.wDay);
    return AskSaveFileName(dialog, path,
                           L"テキスト ファイル (*.txt)\0*.txt\0すべてのファイル (*.*)\0*.*\0",
                           L"生成したパスワードの保存", L"txt") != 0;
}

void OnSavePasswords(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    LPWSTR path = AllocBuffer(PathChars);
    if (path == nullptr || !AskPasswordFileName(dialog, path)) {
        FreeBuffer(path);
        return;
    }
    DWORD status = WriteImportPasswords(session->table, path);
    if (status != 0) {
        ShowPlatformError(dialog, L"パスワードを保存できませんでした。\n(エラー詳細 : %s)",
                          ImportErrorCaption, status);
    } else {
        session->passwordsKept = true;
        AMBMessageBoxW(
            dialog,
            L"生成したパスワードを保存しました。\nファイルはほかの人が読めない場所に保管し、配布が済んだら削除してください。",
            ImportCaption, MB_ICONINFORMATION);
    }
    FreeBuffer(path);
}

bool AskSlipsFileName(HWND dialog, LPWSTR path)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    FormatBounded(path, PathChars, L"Ambrelle-配布用カード-%04d%02d%02d.html", today.wYear,
                  today.wMonth, today.wDay);
    return AskSaveFileName(dialog, path,
                           L"HTML ファイル (*.html)\0*.html;*.htm\0すべてのファイル (*.*)\0*.*\0",
                           L"配布用カードの保存", L"html") != 0;
}

// The page opens in the program the computer opens HTML with, to print it.
void OpenSlips(HWND dialog, LPCWSTR path)
{
    auto code = reinterpret_cast<INT_PTR>(
        ShellExecuteW(dialog, L"open", path, nullptr, nullptr, SW_SHOWNORMAL));
    if (code > 32)
        return;
    DWORD status = GetLastError();
    ShowPlatformError(dialog, L"配布用カードを開けませんでした。\n(エラー詳細 : %s)",
                      ImportErrorCaption, status != 0 ? status : ERROR_NO_ASSOCIATION);
}

// The cards hold the passwords as the password file does: the same warning,
// then the page is offered for printing.
void OnSaveSlips(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    LPWSTR path = AllocBuffer(PathChars);
    if (path == nullptr || !AskSlipsFileName(dialog, path)) {
        FreeBuffer(path);
        return;
    }
    DWORD status = WriteImportSlips(session->table, path);
    if (status != 0) {
        ShowPlatformError(dialog, L"配布用カードを保存できませんでした。\n(エラー詳細 : %s)",
                          ImportErrorCaption, status);
    } else {
        session->passwordsKept = true;
        if (AMBMessageBoxW(
                dialog,
                L"配布用カードを保存しました。ファイルにはパスワードが含まれています。\nファイルはほかの人が読めない場所に保管し、配布が済んだら削除してください。\n\n配布用カードを開いて印刷しますか？",
                ImportCaption, MB_YESNO | MB_ICONINFORMATION) == IDYES)
            OpenSlips(dialog, path);
    }
    FreeBuffer(path);
}

// Closing with passwords neither copied nor saved loses them: asked first.
bool MayCloseResult(HWND dialog)
{
    ImportSession* session = SessionOf(dialog);
    if (session->passwordsKept || CountImport(session->table).passwords == 0)
        return true;
    return AMBMessageBoxW(
               dialog,
               L"生成したパスワードをコピーも保存もしていません。\n閉じると、パスワードは二度と表示できません。閉じてもよろしいですか?",
               ImportCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool AskImportFileName(HWND window, LPWSTR path)
{
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof(open);
    open.hwndOwner = window;
    open.lpstrFilter = L"CSV (コンマ区切り) (*.csv)\0*.csv\0TSV (タブ区切り) (*.tsv)\0*.tsv\0"
                       L"すべてのファイル (*.*)\0*.*\0";
    open.nFilterIndex = 1;
    open.lpstrFile = path;
    open.nMaxFile = static_cast<DWORD>(PathChars);
    open.lpstrTitle = ImportCaption;
    open.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameW(&open) != FALSE;
}

// Reads and plans the file, then shows the preview and, once applied, the result.
void RunImport(HWND window, LPCWSTR path)
{
    ImportTable* table = nullptr;
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    DWORD status = ReadImportFile(path, &table);
    SetCursor(previous);
    if (table == nullptr) {
        ShowPlatformError(window, L"ファイルを読み込めませんでした。\n(エラー詳細 : %s)",
                          ImportErrorCaption, status);
        return;
    }
    LPWSTR server = AllocServerArgument();
    ImportSession session = {table, server, path, status, 0, false, {}};
    if (IsRemoteServerMissing(server)) {
        session.planStatus = ERROR_NOT_ENOUGH_MEMORY;
    } else if (status == 0) {
        previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        session.planStatus = PlanImport(table, server, false);
        SetCursor(previous);
    }
    HINSTANCE instance = InstanceOf(window);
    if (session.planStatus != 0 && session.planStatus != ERROR_INVALID_DATA) {
        ShowPlatformError(window, L"アカウントを読み取れませんでした。\n(エラー詳細 : %s)",
                          ImportErrorCaption, session.planStatus);
    } else if (AMBDialogBoxParamW(instance, IDD_IMPORT_PREVIEW, window, ImportPreviewDialogProc,
                                  reinterpret_cast<LPARAM>(&session)) == IDOK) {
        SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
        AMBDialogBoxParamW(instance, IDD_IMPORT_RESULT, window, ImportResultDialogProc,
                           reinterpret_cast<LPARAM>(&session));
    }
    FreeBuffer(server);
    FreeImportTable(table);
}

// Both dialogs' list follows the scale of the monitor they are on; the dialog
// manager resizes the dialogs and their font.
void TrackListScale(HWND dialog, UINT message, WPARAM wParam)
{
    const int lists[] = {IDC_IMPORT_LIST};
    if (message == WM_INITDIALOG)
        NoteDialogDpi(dialog, DpiForWindow(dialog));
    else if (message == WM_DPICHANGED)
        RescaleDialogLists(dialog, HIWORD(wParam), lists, 1);
    else if (message == WM_DESTROY)
        ForgetDialogDpi(dialog);
}
} // namespace

INT_PTR CALLBACK ImportPreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrackListScale(dialog, message, wParam);
    switch (message) {
    case WM_INITDIALOG:
        InitPreview(dialog, reinterpret_cast<ImportSession*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (IsBusy(dialog))
            return TRUE;
        switch (LOWORD(wParam)) {
        case IDC_IMPORT_EXACT:
        case IDC_IMPORT_REMOVE:
        case IDC_IMPORT_PROFILES:
            if (HIWORD(wParam) == BN_CLICKED)
                Replan(dialog);
            return TRUE;
        case IDC_IMPORT_REMOVE_GROUP:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                Replan(dialog);
            return TRUE;
        case IDC_IMPORT_PASSWORD_FORM:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                TakePasswordForm(dialog, SessionOf(dialog)->table);
                ShowPlan(dialog);
            }
            return TRUE;
        case IDOK:
            ApplyPlan(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK ImportResultDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrackListScale(dialog, message, wParam);
    switch (message) {
    case WM_INITDIALOG:
        InitResult(dialog, reinterpret_cast<ImportSession*>(lParam));
        return TRUE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_IMPORT_LIST && header->code == LVN_GETDISPINFOW)
            GivePasswordCell(dialog, reinterpret_cast<NMLVDISPINFOW*>(lParam));
        break;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_IMPORT_COPY:
            OnCopyPasswords(dialog);
            return TRUE;
        case IDC_IMPORT_SAVE:
            OnSavePasswords(dialog);
            return TRUE;
        case IDC_IMPORT_SLIPS:
            OnSaveSlips(dialog);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            if (MayCloseResult(dialog))
                EndDialog(dialog, IDOK);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

DWORD WriteImportPasswords(const ImportTable* table, LPCWSTR path)
{
    size_t chars = PasswordTextChars(table);
    LPWSTR text = AllocBuffer(chars);
    // UTF-8 takes at most three bytes for a UTF-16 unit; the byte-order mark three more.
    size_t bytes = chars * 3 + 3;
    auto* utf8 = reinterpret_cast<char*>(AllocBuffer((bytes + 1) / 2));
    DWORD status = 0;
    if (text == nullptr || utf8 == nullptr) {
        status = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        PutPasswordText(table, text, chars);
        utf8[0] = '\xEF';
        utf8[1] = '\xBB';
        utf8[2] = '\xBF';
        int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8 + 3,
                                         static_cast<int>(bytes - 3), nullptr, nullptr);
        HANDLE file = length > 0 ? CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr)
                                 : INVALID_HANDLE_VALUE;
        DWORD written = 0;
        DWORD size = length > 0 ? static_cast<DWORD>(length - 1 + 3) : 0;
        if (length <= 0)
            status = GetLastError();
        else if (file == INVALID_HANDLE_VALUE)
            status = GetLastError();
        else if (!WriteFile(file, utf8, size, &written, nullptr) || written != size)
            status = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
        if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && status == 0)
            status = GetLastError();
        if (status != 0 && file != INVALID_HANDLE_VALUE)
            DeleteFileW(path);
    }
    if (text != nullptr)
        SecureZeroMemory(text, chars * sizeof(WCHAR));
    if (utf8 != nullptr)
        SecureZeroMemory(utf8, bytes);
    FreeBuffer(text);
    FreeBuffer(utf8);
    return status;
}

void ImportAccounts(HWND window)
{
    LPWSTR path = AllocBuffer(PathChars);
    if (path == nullptr)
        return;
    if (AskImportFileName(window, path))
        RunImport(window, path);
    FreeBuffer(path);
}
