// The import's columns: the report's own, matched by the column table that
// the report writes its header from, and the one column only an import has.
// Below the reader and the describer of the plan, which both name columns.
#include "importinternal.h"

#include <cwchar>

#include "reportcolumns.h"

namespace {
const wchar_t* const ColumnNames[ImportColumnCount] = {
    ReportColumnNames[ReportColumnKind],           ReportColumnNames[ReportColumnName],
    ReportColumnNames[ReportColumnFullName],       ReportColumnNames[ReportColumnComment],
    ReportColumnNames[ReportColumnState],          ReportColumnNames[ReportColumnMustChange],
    ReportColumnNames[ReportColumnCantChange],     ReportColumnNames[ReportColumnPasswordExpires],
    ReportColumnNames[ReportColumnAccountExpires], ReportColumnNames[ReportColumnGroups],
    ReportColumnNames[ReportColumnMembers],        L"パスワード"};
// The report's other columns: read and dropped.
const wchar_t* const IgnoredColumns[] = {ReportColumnNames[ReportColumnId],
                                         ReportColumnNames[ReportColumnSid],
                                         ReportColumnNames[ReportColumnLockout],
                                         ReportColumnNames[ReportColumnLastLogon],
                                         ReportColumnNames[ReportColumnLastPasswordChange],
                                         ReportColumnNames[ReportColumnPasswordExpiry],
                                         ReportColumnNames[ReportColumnMicrosoftAccount]};
} // namespace

LPCWSTR ImportColumnName(ImportColumn column)
{
    return column >= 0 && column < ImportColumnCount ? ColumnNames[column] : L"";
}

bool IsIgnoredImportColumn(LPCWSTR name)
{
    for (LPCWSTR ignored : IgnoredColumns)
        if (wcscmp(name, ignored) == 0)
            return true;
    return false;
}
