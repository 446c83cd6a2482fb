#pragma once
// The columns of the account report in the report's order: the header texts
// that the report writes and that an import reads back.

enum ReportColumn {
    ReportColumnKind,
    ReportColumnName,
    ReportColumnId,
    ReportColumnFullName,
    ReportColumnComment,
    ReportColumnSid,
    ReportColumnState,
    ReportColumnLockout,
    ReportColumnMustChange,
    ReportColumnCantChange,
    ReportColumnPasswordExpires,
    ReportColumnLastLogon,
    ReportColumnLastPasswordChange,
    ReportColumnPasswordExpiry,
    ReportColumnAccountExpires,
    ReportColumnGroups,
    ReportColumnMembers,
    ReportColumnMicrosoftAccount,
    ReportColumnCount
};

inline constexpr const wchar_t* ReportColumnNames[ReportColumnCount] = {
    L"種類",
    L"名前",
    L"ID",
    L"フル ネーム (通称名)",
    L"コメント",
    L"SID",
    L"アカウントの状態",
    L"ロックアウト",
    L"パスワード変更要求",
    L"ユーザーによるパスワード変更禁止",
    L"定期的なパスワード変更",
    L"最終ログイン日時",
    L"最終パスワード変更日時",
    L"パスワード有効期限",
    L"アカウント有効期限",
    L"所属グループ",
    L"メンバー",
    L"Microsoft アカウント"};
