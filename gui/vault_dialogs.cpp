// The password vault in the window program: the file chosen, its passphrase
// asked, and a list of every computer and account it keeps; a password is
// shown only on request and leaves the dialog only through the clipboard,
// which is emptied again after 30 seconds if it still holds it.
#include "vault_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <uxtheme.h>

#include <cwchar>

#include "ambcore.h"
#include "dialogsupport.h"
#include "dpi.h"
#include "globals.h"
#include "resource.h"
#include "textformat.h"

namespace {
constexpr LPCWSTR VaultCaption = L"パスワード保管庫";
constexpr LPCWSTR VaultErrorCaption = L"パスワード保管庫 エラー";
constexpr UINT DefaultClipboardMilliseconds = 30000;
// Two passwords and their labels.
constexpr size_t PasswordTextChars = 2 * VaultPasswordChars + 64;

struct ColumnSpec
{
    LPCWSTR title;
    int width; // pixels at 96 DPI
};
const ColumnSpec VaultColumns[] = {
    {L"コンピューター", 125}, {L"アカウント", 100}, {L"最終変更", 135}, {L"状態", 250}};

VaultSession* SessionOf(HWND dialog)
{
    return reinterpret_cast<VaultSession*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// ---- the passphrase -------------------------------------------------------

void InitPassphrase(HWND dialog, VaultSession* session)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(session));
    SetDlgItemTextW(dialog, IDC_VAULT_FILE, session->path);
    SendDlgItemMessageW(dialog, IDC_VAULT_PASSPHRASE, EM_SETLIMITTEXT, VaultPassphraseMaxChars, 0);
}

void WipeEdit(HWND dialog, int id)
{
    // The edit's own buffer is overwritten before it is emptied.
    wchar_t blank[VaultPassphraseMaxChars + 1];
    wmemset(blank, L' ', VaultPassphraseMaxChars);
    blank[VaultPassphraseMaxChars] = L'\0';
    SetDlgItemTextW(dialog, id, blank);
    SetDlgItemTextW(dialog, id, L"");
}

void TryPassphrase(HWND dialog)
{
    VaultSession* session = SessionOf(dialog);
    wchar_t passphrase[VaultPassphraseMaxChars + 1] = {};
    GetDlgItemTextW(dialog, IDC_VAULT_PASSPHRASE, passphrase, VaultPassphraseMaxChars + 1);
    WipeEdit(dialog, IDC_VAULT_PASSPHRASE);
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    DWORD status = UnlockVault(session->contents.header, passphrase, &session->key);
    SetCursor(previous);
    SecureZeroMemory(passphrase, sizeof(passphrase));
    if (status == 0) {
        EndDialog(dialog, IDOK);
        return;
    }
    if (status == ERROR_INVALID_PASSWORD)
        AMBMessageBoxW(dialog, L"パスフレーズが正しくありません。", VaultErrorCaption,
                       MB_OK | MB_ICONWARNING);
    else
        ShowPlatformError(dialog, L"保管庫の鍵を開けませんでした。\n(エラー詳細 : %s)",
                          VaultErrorCaption, status);
    SetFocus(GetDlgItem(dialog, IDC_VAULT_PASSPHRASE));
}

// ---- the list -------------------------------------------------------------

void InitColumns(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_VAULT_LIST);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    UINT dpi = DpiForWindow(dialog);
    for (int i = 0; i < static_cast<int>(ARRAYSIZE(VaultColumns)); ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = ScaleToDpi(VaultColumns[i].width, dpi);
        column.pszText = const_cast<LPWSTR>(VaultColumns[i].title);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SetWindowTheme(list, L"Explorer", nullptr);
}

void SetCell(HWND list, int item, int column, LPCWSTR text)
{
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<LPWSTR>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
}

LPCWSTR EntryState(const VaultSession& session, const VaultEntry& entry)
{
    if (entry.pending >= 0 && entry.applied >= 0)
        return L"保留中 (適用済みか保留中のものが有効)";
    if (entry.pending >= 0)
        return L"保留中 (結果未記録)";
    if (session.contents.records[entry.last].state == VaultFailed)
        return entry.applied >= 0 ? L"変更失敗 (適用済みのものが有効)"
                                  : L"変更失敗 (保管庫にないものが有効)";
    return L"適用済み";
}

void FillEntries(HWND dialog, const VaultSession& session)
{
    HWND list = GetDlgItem(dialog, IDC_VAULT_LIST);
    for (size_t i = 0; i < session.entries.size(); ++i) {
        const VaultEntry& entry = session.entries[i];
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<LPWSTR>(entry.computer.c_str());
        item.lParam = static_cast<LPARAM>(i);
        int row = static_cast<int>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0)
            continue;
        SetCell(list, row, 1, entry.account.c_str());
        std::wstring time = VaultLocalTime(session.contents.records[entry.last].time);
        SetCell(list, row, 2, time.c_str());
        SetCell(list, row, 3, EntryState(session, entry));
    }
}

void NoteProblems(HWND dialog, const VaultSession& session)
{
    const auto& problems = session.contents.problems;
    wchar_t note[256] = {};
    if (problems.empty()) {
        FormatBounded(note, 256, L"%llu 件の記録を読み込みました。",
                      static_cast<unsigned long long>(session.contents.records.size()));
    } else {
        int used = FormatBounded(note, 256, L"読み取れなかった行があります (使っていません): 行");
        for (size_t i = 0; i < problems.size() && i < 8 && used >= 0; ++i) {
            int more = FormatBounded(note + used, 256 - used, L" %d", problems[i].line);
            used = more >= 0 ? used + more : -1;
        }
        if (used >= 0 && problems.size() > 8)
            FormatBounded(note + used, 256 - used, L" ほか %llu 行",
                          static_cast<unsigned long long>(problems.size() - 8));
    }
    SetDlgItemTextW(dialog, IDC_VAULT_NOTE, note);
}

const VaultEntry* SelectedEntry(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_VAULT_LIST);
    int row = static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0)
        return nullptr;
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    const VaultSession* session = SessionOf(dialog);
    size_t index = static_cast<size_t>(item.lParam);
    return index < session->entries.size() ? &session->entries[index] : nullptr;
}

void HidePassword(HWND dialog)
{
    wchar_t blank[PasswordTextChars];
    wmemset(blank, L' ', PasswordTextChars - 1);
    blank[PasswordTextChars - 1] = L'\0';
    SetDlgItemTextW(dialog, IDC_VAULT_PASSWORD, blank);
    SetDlgItemTextW(dialog, IDC_VAULT_PASSWORD, L"");
    const VaultEntry* entry = SelectedEntry(dialog);
    bool any = entry != nullptr && (entry->applied >= 0 || entry->pending >= 0);
    EnableWindow(GetDlgItem(dialog, IDC_VAULT_SHOW), any);
    EnableWindow(GetDlgItem(dialog, IDC_VAULT_COPY), any);
}

// The password copied: the applied one, or the pending one when there is no other.
int CopiedRecord(const VaultEntry& entry)
{
    return entry.applied >= 0 ? entry.applied : entry.pending;
}

DWORD Decrypt(const VaultSession& session, int record, wchar_t* password, size_t chars)
{
    return DecryptVaultPassword(session.key, session.contents.records[record], password, chars);
}

void ShowPassword(HWND dialog)
{
    const VaultSession* session = SessionOf(dialog);
    const VaultEntry* entry = SelectedEntry(dialog);
    if (entry == nullptr)
        return;
    wchar_t text[PasswordTextChars] = {};
    wchar_t applied[VaultPasswordChars + 8] = {};
    wchar_t pending[VaultPasswordChars + 8] = {};
    DWORD status = 0;
    if (entry->applied >= 0)
        status = Decrypt(*session, entry->applied, applied, ARRAYSIZE(applied));
    if (status == 0 && entry->pending >= 0)
        status = Decrypt(*session, entry->pending, pending, ARRAYSIZE(pending));
    if (status == 0 && entry->pending >= 0 && entry->applied >= 0)
        FormatBounded(text, PasswordTextChars, L"適用済み: %s\r\n保留中: %s", applied, pending);
    else if (status == 0)
        FormatBounded(text, PasswordTextChars, L"%s", entry->applied >= 0 ? applied : pending);
    SecureZeroMemory(applied, sizeof(applied));
    SecureZeroMemory(pending, sizeof(pending));
    if (status != 0) {
        ShowPlatformError(dialog, L"この記録のパスワードを復号できません。\n(エラー詳細 : %s)",
                          VaultErrorCaption, status);
        return;
    }
    SetDlgItemTextW(dialog, IDC_VAULT_PASSWORD, text);
    SecureZeroMemory(text, sizeof(text));
}

// ---- the clipboard --------------------------------------------------------

// The clipboard's sequence number right after our copy; 0 when none is pending.
DWORD CopiedSequence = 0;
UINT_PTR ClearTimer = 0;

void CALLBACK ClearCopiedPassword(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(nullptr, ClearTimer);
    ClearTimer = 0;
    // Only our own copy goes: whatever was copied since is left alone.
    if (CopiedSequence != 0 && GetClipboardSequenceNumber() == CopiedSequence &&
        OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    CopiedSequence = 0;
}

DWORD PutOnClipboard(HWND dialog, const wchar_t* password)
{
    return PutOnClipboardInPlace(dialog, wcslen(password) + 1, [&](wchar_t* text, size_t chars) {
        wmemcpy(text, password, chars);
    });
}

void CopyPassword(HWND dialog)
{
    const VaultSession* session = SessionOf(dialog);
    const VaultEntry* entry = SelectedEntry(dialog);
    if (entry == nullptr || CopiedRecord(*entry) < 0)
        return;
    wchar_t password[VaultPasswordChars + 8] = {};
    DWORD status = Decrypt(*session, CopiedRecord(*entry), password, ARRAYSIZE(password));
    if (status == 0)
        status = PutOnClipboard(dialog, password);
    SecureZeroMemory(password, sizeof(password));
    if (status != 0) {
        ShowPlatformError(
            dialog, L"パスワードをクリップボードにコピーできませんでした。\n(エラー詳細 : %s)",
            VaultErrorCaption, status);
        return;
    }
    // A thread timer: it outlives this dialog, on the main window's message loop.
    CopiedSequence = GetClipboardSequenceNumber();
    if (ClearTimer != 0)
        KillTimer(nullptr, ClearTimer);
    ClearTimer = SetTimer(nullptr, 0, VaultClipboardMilliseconds(), ClearCopiedPassword);
    wchar_t note[160] = {};
    FormatBounded(
        note, 160,
        entry->applied >= 0
            ? L"適用済みのパスワードをコピーしました。%u 秒後にクリップボードから消去します。"
            : L"保留中のパスワードをコピーしました。%u 秒後にクリップボードから消去します。",
        (VaultClipboardMilliseconds() + 999) / 1000);
    SetDlgItemTextW(dialog, IDC_VAULT_STATUS, note);
}

void InitVault(HWND dialog, VaultSession* session)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(session));
    NoteDialogDpi(dialog, DpiForWindow(dialog));
    SetDlgItemTextW(dialog, IDC_VAULT_FILE, session->path);
    InitColumns(dialog);
    FillEntries(dialog, *session);
    NoteProblems(dialog, *session);
    // The first row is chosen, as in any list; its password still waits for the button.
    LVITEMW first = {};
    first.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    first.state = first.stateMask;
    SendDlgItemMessageW(dialog, IDC_VAULT_LIST, LVM_SETITEMSTATE, 0,
                        reinterpret_cast<LPARAM>(&first));
    HidePassword(dialog);
}

bool AskVaultFileName(HWND window, LPWSTR path)
{
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof(open);
    open.hwndOwner = window;
    open.lpstrFilter = L"パスワード保管庫 (*.vault)\0*.vault\0すべてのファイル (*.*)\0*.*\0";
    open.nFilterIndex = 1;
    open.lpstrFile = path;
    open.nMaxFile = static_cast<DWORD>(PathChars);
    open.lpstrTitle = L"パスワード保管庫を開く";
    open.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameW(&open) != FALSE;
}

void ShowVaultReadError(HWND window, DWORD status)
{
    if (status == ERROR_FILE_CORRUPT)
        AMBMessageBoxW(
            window,
            L"このファイルはパスワード保管庫ではないか、1 行目 (保管庫の鍵) が壊れています。",
            VaultErrorCaption, MB_OK | MB_ICONWARNING);
    else if (status == ERROR_REVISION_MISMATCH)
        AMBMessageBoxW(window, L"このバージョンの Ambrelle が読めない形式の保管庫です。",
                       VaultErrorCaption, MB_OK | MB_ICONWARNING);
    else
        ShowPlatformError(window, L"パスワード保管庫を読み込めませんでした。\n(エラー詳細 : %s)",
                          VaultErrorCaption, status);
}
} // namespace

UINT VaultClipboardMilliseconds()
{
    // Tests wait a moment, not half a minute (AMBRELLE_TEST_CLIPBOARD_MS).
    wchar_t text[16] = {};
    DWORD n = GetEnvironmentVariableW(L"AMBRELLE_TEST_CLIPBOARD_MS", text, 16);
    UINT value = n > 0 && n < 16 ? static_cast<UINT>(_wtoi(text)) : 0;
    return value > 0 ? value : DefaultClipboardMilliseconds;
}

INT_PTR CALLBACK VaultPassphraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitPassphrase(dialog, reinterpret_cast<VaultSession*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            TryPassphrase(dialog);
            return TRUE;
        case IDCANCEL:
            WipeEdit(dialog, IDC_VAULT_PASSPHRASE);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK VaultDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitVault(dialog, reinterpret_cast<VaultSession*>(lParam));
        return TRUE;
    case WM_DPICHANGED: {
        const int lists[] = {IDC_VAULT_LIST};
        RescaleDialogLists(dialog, HIWORD(wParam), lists, 1);
        break;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
        if (header->idFrom == IDC_VAULT_LIST && header->code == LVN_ITEMCHANGED &&
            (change->uChanged & LVIF_STATE) != 0 &&
            ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) != 0)
            HidePassword(dialog);
        break;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_VAULT_SHOW:
            ShowPassword(dialog);
            return TRUE;
        case IDC_VAULT_COPY:
            CopyPassword(dialog);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            HidePassword(dialog);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        ForgetDialogDpi(dialog);
        break;
    }
    return FALSE;
}

void OpenPasswordVault(HWND window)
{
    wchar_t path[PathChars] = {};
    if (!AskVaultFileName(window, path))
        return;
    VaultSession session;
    session.path = path;
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    DWORD status = ReadVault(path, &session.contents);
    SetCursor(previous);
    if (status != 0) {
        ShowVaultReadError(window, status);
        return;
    }
    session.entries = SummariseVault(session.contents);
    HINSTANCE instance = InstanceOf(window);
    if (AMBDialogBoxParamW(instance, IDD_VAULT_PASSPHRASE, window, VaultPassphraseDialogProc,
                           reinterpret_cast<LPARAM>(&session)) != IDOK)
        return;
    AMBDialogBoxParamW(instance, IDD_VAULT, window, VaultDialogProc,
                       reinterpret_cast<LPARAM>(&session));
    CloseVaultKey(session.key);
}
