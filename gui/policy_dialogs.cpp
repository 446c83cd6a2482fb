// The password and lock-out policy dialog of advanced mode: NetUserModalsGet
// and NetUserModalsSet levels 0 and 3 of the target computer, with the ranges
// and rules that Ambcmd /policy checks (report/accountpolicy.cpp).
#include "policy_dialogs.h"

#include <lm.h>

#include "accountlist.h"
#include "ambcore.h"
#include "dialogsupport.h"
#include "globals.h"
#include "resource.h"
#include "textformat.h"

namespace {
const wchar_t WriteErrorFormat[] =
    L"パスワードとロックアウトのポリシーを変更できませんでした。\n(エラー詳細 : %s)";
const wchar_t ReadErrorFormat[] =
    L"パスワードとロックアウトのポリシーを取得できませんでした。\n(エラー詳細 : %s)";
const wchar_t ErrorCaption[] = L"ポリシー設定エラー";
// Five digits hold the largest value (99999 minutes).
constexpr int ValueDigits = 5;

int EditId(PolicyValue value)
{
    return IDC_POLICY_EDIT + value;
}

PolicyDialogState* StateOf(HWND dialog)
{
    return reinterpret_cast<PolicyDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

bool MaxAgeUnlimitedChecked(HWND dialog)
{
    return IsDlgButtonChecked(dialog, IDC_POLICY_MAX_AGE_UNLIMITED) == BST_CHECKED;
}

void ShowTarget(HWND dialog)
{
    wchar_t target[TargetServerChars + 32];
    if (IsRemoteTarget())
        FormatBounded(target, TargetServerChars + 32, L"リモート コンピュータ (%s)", TargetServer);
    else
        FormatBounded(target, TargetServerChars + 32, L"ローカル コンピュータ");
    SetDlgItemTextW(dialog, IDC_POLICY_TARGET, target);
}

// The labels are the captions that Ambcmd /policy and the report print.
void ShowLabelsAndRanges(HWND dialog)
{
    for (int v = 0; v < PolicyValueCount; ++v) {
        auto value = static_cast<PolicyValue>(v);
        SetDlgItemTextW(dialog, IDC_POLICY_LABEL + v, PolicyValueLabel(value));
        wchar_t note[32];
        PolicyRange range = PolicyTypedRange(value);
        FormatBounded(note, 32, L"(%lu から %lu)", range.min, range.max);
        SetDlgItemTextW(dialog, IDC_POLICY_NOTE + v, note);
        SendDlgItemMessageW(dialog, EditId(value), EM_LIMITTEXT, ValueDigits, 0);
    }
}

void FollowMaxAgeUnlimited(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, EditId(PolicyMaxAge)), !MaxAgeUnlimitedChecked(dialog));
}

void ShowValues(HWND dialog, const AccountPolicy& policy)
{
    for (int v = 0; v < PolicyValueCount; ++v) {
        auto value = static_cast<PolicyValue>(v);
        DWORD units = GetPolicyValue(policy, value);
        wchar_t text[16] = L"";
        if (units != PolicyUnlimited)
            FormatBounded(text, 16, L"%lu", units);
        else if (value == PolicyDuration)
            FormatBounded(text, 16, L"0");
        SetDlgItemTextW(dialog, EditId(value), text);
    }
    bool unlimited = GetPolicyValue(policy, PolicyMaxAge) == PolicyUnlimited;
    CheckDlgButton(dialog, IDC_POLICY_MAX_AGE_UNLIMITED, unlimited ? BST_CHECKED : BST_UNCHECKED);
    FollowMaxAgeUnlimited(dialog);
}

void FocusValue(HWND dialog, PolicyValue value)
{
    HWND control = GetDlgItem(dialog, EditId(value));
    if (value == PolicyMaxAge && MaxAgeUnlimitedChecked(dialog))
        control = GetDlgItem(dialog, IDC_POLICY_MAX_AGE_UNLIMITED);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

void Warn(HWND dialog, const wchar_t* text, PolicyValue value)
{
    AMBMessageBoxW(dialog, text, ErrorCaption, MB_ICONWARNING);
    FocusValue(dialog, value);
}

// Decimal digits only, read without overflow whatever their number.
bool ParseDigits(const wchar_t* text, DWORD* number)
{
    if (text[0] == L'\0')
        return false;
    unsigned long long total = 0;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p < L'0' || *p > L'9')
            return false;
        total = total * 10 + static_cast<unsigned>(*p - L'0');
        if (total > 0xFFFFFFFEull)
            return false;
    }
    *number = static_cast<DWORD>(total);
    return true;
}

// The field's value in units, or false after telling the user which field
// and which numbers it takes.
bool ReadValue(HWND dialog, PolicyValue value, DWORD* units)
{
    if (value == PolicyMaxAge && MaxAgeUnlimitedChecked(dialog)) {
        *units = PolicyUnlimited;
        return true;
    }
    // Text longer than the limit (set from outside) is never read cut short.
    wchar_t text[ValueDigits + 1] = L"";
    bool whole = GetWindowTextLengthW(GetDlgItem(dialog, EditId(value))) <= ValueDigits;
    GetDlgItemTextW(dialog, EditId(value), text, ValueDigits + 1);
    DWORD number = 0;
    if (whole && ParseDigits(text, &number) && PolicyUnitsOfNumber(value, number, units))
        return true;
    PolicyRange range = PolicyTypedRange(value);
    wchar_t message[MessageChars];
    FormatBounded(message, MessageChars, L"%s には %lu から %lu の数値を入力してください。%s",
                  PolicyValueLabel(value), range.min, range.max,
                  value == PolicyMaxAge ? L"\n期限を設けない場合は [無期限] をオンにしてください。"
                                        : L"");
    Warn(dialog, message, value);
    return false;
}

// The values the user changed (against those shown) over the policy as it is
// now: a value left as shown keeps what the platform holds, also what was
// written meanwhile elsewhere and what is not a whole day or minute.
bool ReadValues(HWND dialog, const AccountPolicy& shown, const AccountPolicy& current,
                AccountPolicy* after)
{
    *after = current;
    for (int v = 0; v < PolicyValueCount; ++v) {
        auto value = static_cast<PolicyValue>(v);
        DWORD units = 0;
        if (!ReadValue(dialog, value, &units))
            return false;
        if (units != GetPolicyValue(shown, value))
            SetPolicyValue(after, value, units);
    }
    return true;
}

bool PassesRules(HWND dialog, const AccountPolicy& policy)
{
    PolicyValue other = PolicyValueCount;
    PolicyValue problem = FindPolicyProblem(policy, &other);
    if (problem == PolicyValueCount)
        return true;
    wchar_t message[MessageChars];
    DescribePolicyProblem(policy, problem, other, message, MessageChars);
    Warn(dialog, message, problem);
    return false;
}

void OnOk(HWND dialog)
{
    PolicyDialogState* state = StateOf(dialog);
    if (state == nullptr)
        return;
    // Read afresh, as the account records are before they are written.
    AccountPolicy current;
    DWORD status = ReadAccountPolicy(state->server, &current);
    if (status != NERR_Success) {
        ShowPlatformError(dialog, WriteErrorFormat, ErrorCaption, status);
        return;
    }
    AccountPolicy after;
    if (!ReadValues(dialog, state->before, current, &after) || !PassesRules(dialog, after))
        return;
    DWORD parmErr = 0;
    status = WriteAccountPolicy(state->server, current, after, &parmErr);
    if (status != NERR_Success) {
        ShowPlatformError(dialog, WriteErrorFormat, ErrorCaption, status);
        PolicyValue refused = PolicyValueOfParmErr(parmErr);
        if (status == ERROR_INVALID_PARAMETER && refused != PolicyValueCount)
            FocusValue(dialog, refused);
        return;
    }
    EndDialog(dialog, 1);
}
} // namespace

INT_PTR CALLBACK PolicyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* state = reinterpret_cast<PolicyDialogState*>(lParam);
        ShowTarget(dialog);
        ShowLabelsAndRanges(dialog);
        if (state != nullptr)
            ShowValues(dialog, state->before);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_POLICY_MAX_AGE_UNLIMITED:
            if (HIWORD(wParam) == BN_CLICKED)
                FollowMaxAgeUnlimited(dialog);
            return TRUE;
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void EditAccountPolicy(HWND window)
{
    if (AppSettings.Advanced == 0)
        return;
    LPWSTR server = AllocServerArgument();
    if (IsRemoteServerMissing(server))
        return; // never the local computer's policy instead
    PolicyDialogState state = {server, {}};
    DWORD status = ReadAccountPolicy(server, &state.before);
    if (status != NERR_Success)
        ShowPlatformError(window, ReadErrorFormat, L"ポリシー取得エラー", status);
    else if (AMBDialogBoxParamW(InstanceOf(window), IDD_POLICY, window, PolicyDialogProc,
                                reinterpret_cast<LPARAM>(&state)) == 1)
        SendMessageW(window, WM_COMMAND, CMD_REFRESH, 0);
    FreeBuffer(server);
}
