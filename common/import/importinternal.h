#pragma once
// Helpers shared by the reader, the planner and the applier of the import.
#include "accountimport.h"

// Zero-filled memory from the process heap; ImportFree accepts null.
void* ImportAlloc(size_t bytes);
void ImportFree(void* block);

// A copy of `text` (of `chars` characters, or up to its terminator when
// `chars` is -1) kept until the table is freed. Null when out of memory.
LPWSTR ArenaCopy(ImportTable* table, LPCWSTR text, int chars = -1);

// Adds one problem to the table (formatted, bounded). Past ImportMaxProblems
// it is only counted.
void AddProblem(ImportTable* table, DWORD line, LPCWSTR format, ...);

// Names compared as the account database compares them: without regard to case.
bool SameName(LPCWSTR a, LPCWSTR b);
// Whether a member cell's item is a SID string ("S-1-..."): that SID itself,
// added by SID (level 0), for members nobody here can name. `sid`, when given,
// receives the SID (LocalFree).
bool IsSidText(LPCWSTR text, PSID* sid = nullptr);

// A hash index of names (case-insensitive) to numbers, sized once for at most
// `capacity` entries. The names are not copied: they must outlive the index.
struct NameIndex
{
    LPCWSTR* names;
    DWORD* values;
    DWORD slots;
    DWORD count;
};
bool InitNameIndex(NameIndex& index, DWORD capacity);
void FreeNameIndex(NameIndex& index);
// Adds `name`; false when it is there already (`existing` then gets its value).
bool AddName(NameIndex& index, LPCWSTR name, DWORD value, DWORD* existing = nullptr);
// True with the value when `name` is there.
bool FindName(const NameIndex& index, LPCWSTR name, DWORD* value = nullptr);

// Appends text to a bounded buffer; once full, the text ends in "…".
struct TextBuilder
{
    LPWSTR buffer;
    size_t chars;
    size_t used;
};
void Append(TextBuilder& builder, LPCWSTR text);

// The removals of who is no longer listed (the table's removeGroup): planned
// after the rows, applied after the memberships. ApplyRemovals returns how
// many failed and sets *stopped when the progress callback stops it.
DWORD PlanMissingRemovals(ImportTable* table, LPCWSTR server);
DWORD CountRemovalsToApply(const ImportTable* table);
DWORD ApplyRemovals(ImportTable* table, LPCWSTR server, ImportProgress progress, void* context,
                    DWORD step, DWORD total, bool* stopped);
void FreeImportRemovals(ImportTable* table);

// Orders the problems by line (the file as a whole first), keeping the order
// of those of one line: the plan's problems join the file's where they belong.
void SortProblems(ImportTable* table);
