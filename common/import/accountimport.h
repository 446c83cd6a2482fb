#pragma once
#include <windows.h>

// The account import: the account report's own table (CSV or TSV, UTF-8 or
// Shift_JIS) read back into a computer's users and local groups. Three steps,
// each complete before the next: read and check the whole file, plan every
// row against the target computer, apply the plan row by row.

// Limits that keep an untrusted file from costing more than a real one would.
constexpr DWORD ImportMaxFileBytes = 16 * 1024 * 1024;
constexpr DWORD ImportMaxRows = 10000;
constexpr DWORD ImportMaxFieldChars = 65536;
// Problems listed one by one; the rest are only counted.
constexpr DWORD ImportMaxProblems = 200;
constexpr size_t ImportProblemChars = 384;
constexpr size_t ImportPasswordChars = 16;
// The easy form: three groups of four letters and digits joined by hyphens.
constexpr size_t ImportEasyPasswordChars = 14;

// The form of the passwords made for new users without one.
enum ImportPasswordForm {
    ImportPasswordsStrong, // 16 characters of four classes (the default)
    ImportPasswordsEasy    // "abcd-efgh-jkmn": typed alike on Japanese and US keyboards
};

// The columns an import writes or needs. The report's other columns (ID, SID,
// lockout, times) are read and ignored.
enum ImportColumn {
    ColumnKind,
    ColumnName,
    ColumnFullName,
    ColumnComment,
    ColumnState,
    ColumnMustChange,
    ColumnCantChange,
    ColumnPasswordExpires,
    ColumnAccountExpires,
    ColumnGroups,
    ColumnMembers,
    ColumnPassword,
    ImportColumnCount
};

// The header text of a column, as the account report writes it.
LPCWSTR ImportColumnName(ImportColumn column);

enum ImportAction { ImportNothing, ImportCreate, ImportChange };
enum ImportOutcome { ImportPending, ImportDone, ImportFailed };

struct ImportProblem
{
    DWORD line; // 0: the file as a whole
    WCHAR text[ImportProblemChars];
};

struct ImportRow
{
    DWORD line; // where the row starts in the file (the header is line 1)
    bool group;
    LPWSTR cells[ImportColumnCount]; // never null: "" for an absent or empty cell
    // Values read from the cells: -1 when the cell is empty.
    int disabled;
    int mustChange;
    int cantChange;
    int expiringPassword;
    bool hasAccountExpiry;
    DWORD accountExpiry; // TIMEQ_FOREVER for "なし"

    ImportAction action;
    DWORD changedColumns; // bit (1 << ImportColumn) per field that changes
    DWORD membershipsAdded;
    DWORD membershipsRemoved;

    ImportOutcome outcome;
    DWORD status;           // the first failing platform status
    LPWSTR failure;         // the step that failed and the platform's reason
    bool generatedPassword; // the password below was made for this new user
    WCHAR password[ImportPasswordChars + 1];
};

// One membership the plan adds or removes. Memberships already in place are
// not kept.
struct ImportMembership
{
    LPWSTR group;
    LPWSTR member; // "DOMAIN\name"
    DWORD owner;   // the row that states it
    bool remove;
    DWORD status;
};

// A member of the removal group that the file does not list: deleted after
// the file's rows are applied, or kept with the reason.
struct ImportRemoval
{
    LPWSTR name;    // the account's name on the target
    LPWSTR sidText; // its SID as text ("S-1-5-..."), for the profile
    LPCWSTR kept;   // null: deleted; otherwise why the account stays
    ImportOutcome outcome;
    DWORD status;
    LPWSTR failure;
    bool profileDeleted;
};

struct ImportArenaBlock;

struct ImportTable
{
    LPWSTR text; // the decoded file; the cells point into it
    size_t textChars;
    LPCWSTR encoding; // "UTF-8", "UTF-8 (BOM)", "Shift_JIS", "UTF-16"
    WCHAR separator;
    ImportRow* rows;
    DWORD rowCount;
    ImportMembership* memberships;
    DWORD membershipCount;
    DWORD membershipCapacity;
    bool exact;
    ImportProblem* problems;
    DWORD problemCount;
    DWORD problemsNotListed;
    ImportArenaBlock* arena;
    WCHAR domain[256]; // the target's account domain, learnt by the plan

    // Set by the reader: the problems of the file itself (kept when the
    // table is planned again), and whether every record was read, so that a
    // plan can list its own problems beside them.
    DWORD fileProblems;
    DWORD fileProblemsNotListed;
    bool rowsComplete;

    // Chosen before PlanImport. removeGroup: the users that are members of it
    // and not in the file are deleted (null: none); deleteProfiles: their
    // profiles too, on the local computer; keepAccount: the account the
    // program works as on the target (/as:), never deleted.
    LPCWSTR removeGroup;
    bool deleteProfiles;
    LPCWSTR keepAccount;
    ImportPasswordForm passwordForm;
    ImportRemoval* removals;
    DWORD removalCount;
    bool removalsLocal; // planned for this computer: profiles can go too
};

// Reads the file at `path`. Returns 0 with the rows; ERROR_INVALID_DATA when
// the file has problems (listed in the table, which is returned too); or the
// status of the failing file call (and no table).
DWORD ReadImportFile(LPCWSTR path, ImportTable** table);
// The same from bytes in memory.
DWORD ReadImportBytes(const BYTE* bytes, size_t count, ImportTable** table);

// Checks every row against the computer that `server` names (null: this
// computer; "\\NAME": a remote one) and plans it. With `exact`, memberships
// that the file does not list are removed from the groups and users whose
// rows list them; with the table's removeGroup, the group's users missing from
// the file are planned for deletion. Returns 0 when the plan can be applied,
// ERROR_INVALID_DATA when rows have problems (the file's own and the plan's,
// listed together by line), or the status of a failing read of the target.
// Writes nothing. A table whose file has problems is planned too when all its
// records were read (rowsComplete), so that every problem shows at once.
DWORD PlanImport(ImportTable* table, LPCWSTR server, bool exact);

// Called before each step of ApplyImport (done of total); return false to
// stop before the next step.
typedef bool (*ImportProgress)(DWORD done, DWORD total, void* context);

// Applies a plan: groups, then users, then memberships. A failing row is
// recorded in its outcome and the others go on. Returns the number of rows
// that failed.
DWORD ApplyImport(ImportTable* table, LPCWSTR server, ImportProgress progress, void* context);

// The texts both programs show: the plan of a row ("作成", "変更: ...",
// "変更なし") and its outcome once applied.
LPCWSTR ImportActionName(const ImportRow& row);
void DescribeImportPlan(const ImportTable* table, DWORD row, LPWSTR buffer, size_t chars);
void DescribeImportResult(const ImportTable* table, DWORD row, LPWSTR buffer, size_t chars);

// Rows counted by plan and by outcome; the removals among them: to delete,
// kept, deleted and failed.
struct ImportCounts
{
    DWORD create, change, nothing, done, failed, passwords;
    DWORD remove, kept, removed, removeFailed;
};
ImportCounts CountImport(const ImportTable* table);

// Frees the table, wiping the file's text and the generated passwords first.
void FreeImportTable(ImportTable* table);

// A password of ImportPasswordChars characters from the system's generator,
// with upper and lower case letters, digits and symbols. Returns 0 or the
// generator's status.
DWORD GenerateImportPassword(LPWSTR buffer, size_t chars);
// A password of the easy form: 12 characters of upper and lower case letters
// and digits without the look-alikes (0 O o 1 l I), in groups of four joined
// by hyphens (ImportEasyPasswordChars). Returns 0 or the generator's status.
DWORD GenerateEasyImportPassword(LPWSTR buffer, size_t chars);
// The name of the table's password form, as the previews show it.
LPCWSTR ImportPasswordFormName(ImportPasswordForm form);
// True when a row of the plan will get a generated password.
bool ImportGeneratesPasswords(const ImportTable* table);

// The plan and the outcome of a removal, as both programs show them.
void DescribeImportRemoval(const ImportTable* table, DWORD removal, LPWSTR buffer, size_t chars);

// Password slips: a UTF-8 HTML page for A4 with one card per user given a
// password by the last apply (computer, name, full name, password and the
// note that it must be changed), ten a page with cut lines; no script and
// nothing from outside the file. Written beside `path` under a temporary name
// and moved over it once complete. Returns 0 or the failing call's status.
DWORD WriteImportSlips(const ImportTable* table, LPCWSTR path);
