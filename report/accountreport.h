#pragma once
#include <windows.h>

#include <cstddef>

// The account report: every user and local group of a computer, one row each,
// as a UTF-8 text table that spreadsheet programs open. Ambgui saves it from
// its menu, Ambcmd with /report; Ambcmd's lists carry the same columns.

enum ReportFormat {
    ReportCsv,
    ReportTsv,
    ReportJson,  // an array of objects with typed values (Ambcmd's lists, see README)
    ReportFields // the plain values for a text table: see ReportRows
};

// Which rows a report holds.
constexpr int ReportUsers = 1;
constexpr int ReportGroups = 2;
constexpr int ReportAllAccounts = 3;

// Writes the report of the computer named by `server` (a server argument: null
// for the local computer) to `path`. The rows go to a temporary file in the
// same folder, which replaces `path` only once it is complete; on failure it is
// removed and `path` stays as it was. Returns 0 or the status of the failing
// call (a Win32 or a network status). `format` is ReportCsv or ReportTsv.
DWORD WriteAccountReport(LPCWSTR server, LPCWSTR path, ReportFormat format);

// Rows of a report gathered in memory, UTF-8, from the process heap; released
// with FreeReportRows. In ReportFields form a row ends with 0x1E, its fields
// are separated by 0x1F and the items of a list field by 0x1D; control
// characters inside a value become spaces.
struct ReportRows
{
    BYTE* bytes = nullptr;
    size_t length = 0;
    size_t capacity = 0;
    DWORD rowCount = 0;
};
void FreeReportRows(ReportRows* rows);

struct ReportOptions
{
    ReportFormat format = ReportCsv;
    int kinds = ReportAllAccounts;
    // When set, every row starts with this computer's name (a report of
    // several computers in one table).
    LPCWSTR computerColumn = nullptr;
    // CR LF at the end of a CSV or TSV row (the report's files); else LF.
    bool crlf = true;
};

// The header row of CSV and TSV (nothing for the other forms), with a
// computer column first when `withComputer`.
DWORD ReadReportHeader(ReportFormat format, bool withComputer, bool crlf, ReportRows* rows);
// The rows of one computer, in the order of the report file.
DWORD ReadReportRows(LPCWSTR server, const ReportOptions& options, ReportRows* rows);

// Writes a report made of parts gathered in memory (the header first, then the
// rows of each computer) to `path`, whole or not at all as WriteAccountReport
// does, with the byte-order mark first.
DWORD WriteReportParts(LPCWSTR path, const ReportRows* parts, size_t count);

// The address of the Microsoft account that user `name` signs in with
// (NetUserGetInfo level 24), or "" when the user has none or the computer
// knows no such connection. Returns 0 or the status of the call.
DWORD ReadMicrosoftAccount(LPCWSTR server, LPCWSTR name, LPWSTR address, size_t chars);
