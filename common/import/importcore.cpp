// The import's shared pieces: memory, problems, the name index, the texts
// both programs show, and the generated passwords.
#include "importinternal.h"

#include <bcrypt.h>

#include <cstdarg>
#include <cwchar>

#include "textformat.h"

struct ImportArenaBlock
{
    ImportArenaBlock* next;
    size_t used;
    size_t size;
    WCHAR text[1];
};

namespace {
constexpr size_t ArenaBlockChars = 32 * 1024;

DWORD FoldedHash(LPCWSTR name)
{
    // FNV-1a over the upper-cased name, a piece at a time.
    DWORD hash = 2166136261u;
    WCHAR piece[64];
    size_t length = wcslen(name);
    for (size_t at = 0; at < length; at += 64) {
        DWORD chars = static_cast<DWORD>(length - at < 64 ? length - at : 64);
        CopyMemory(piece, name + at, chars * sizeof(WCHAR));
        CharUpperBuffW(piece, chars);
        for (DWORD i = 0; i < chars; ++i) {
            hash ^= piece[i];
            hash *= 16777619u;
        }
    }
    return hash;
}
} // namespace

void* ImportAlloc(size_t bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void ImportFree(void* block)
{
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
}

LPWSTR ArenaCopy(ImportTable* table, LPCWSTR text, int chars)
{
    size_t length = chars < 0 ? wcslen(text) : static_cast<size_t>(chars);
    ImportArenaBlock* block = table->arena;
    if (block == nullptr || block->size - block->used < length + 1) {
        size_t size = length + 1 > ArenaBlockChars ? length + 1 : ArenaBlockChars;
        block = static_cast<ImportArenaBlock*>(
            ImportAlloc(sizeof(ImportArenaBlock) + size * sizeof(WCHAR)));
        if (block == nullptr)
            return nullptr;
        block->size = size;
        block->next = table->arena;
        table->arena = block;
    }
    LPWSTR copy = block->text + block->used;
    CopyMemory(copy, text, length * sizeof(WCHAR));
    copy[length] = L'\0';
    block->used += length + 1;
    return copy;
}

void AddProblem(ImportTable* table, DWORD line, LPCWSTR format, ...)
{
    if (table->problems == nullptr)
        table->problems =
            static_cast<ImportProblem*>(ImportAlloc(sizeof(ImportProblem) * ImportMaxProblems));
    if (table->problems == nullptr || table->problemCount == ImportMaxProblems) {
        ++table->problemsNotListed;
        return;
    }
    ImportProblem& problem = table->problems[table->problemCount++];
    problem.line = line;
    va_list args;
    va_start(args, format);
    FormatBoundedV(problem.text, ImportProblemChars, format, args);
    va_end(args);
}

void SortProblems(ImportTable* table)
{
    // At most ImportMaxProblems: an insertion sort keeps equal lines in order.
    for (DWORD i = 1; i < table->problemCount; ++i) {
        ImportProblem moved = table->problems[i];
        DWORD at = i;
        for (; at > 0 && table->problems[at - 1].line > moved.line; --at)
            table->problems[at] = table->problems[at - 1];
        table->problems[at] = moved;
    }
}

bool SameName(LPCWSTR a, LPCWSTR b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool InitNameIndex(NameIndex& index, DWORD capacity)
{
    index.count = 0;
    index.slots = 16;
    while (index.slots < capacity * 2 + 16)
        index.slots *= 2;
    index.names = static_cast<LPCWSTR*>(ImportAlloc(index.slots * sizeof(LPCWSTR)));
    index.values = static_cast<DWORD*>(ImportAlloc(index.slots * sizeof(DWORD)));
    if (index.names == nullptr || index.values == nullptr) {
        FreeNameIndex(index);
        return false;
    }
    return true;
}

void FreeNameIndex(NameIndex& index)
{
    ImportFree(index.names);
    ImportFree(index.values);
    index.names = nullptr;
    index.values = nullptr;
    index.slots = 0;
}

// Doubles the slots of a half-full index; false when out of memory.
bool GrowNameIndex(NameIndex& index)
{
    NameIndex larger;
    if (!InitNameIndex(larger, index.slots))
        return false;
    for (DWORD i = 0; i < index.slots; ++i)
        if (index.names[i] != nullptr)
            AddName(larger, index.names[i], index.values[i]);
    FreeNameIndex(index);
    index = larger;
    return true;
}

bool AddName(NameIndex& index, LPCWSTR name, DWORD value, DWORD* existing)
{
    if (index.names == nullptr || (index.count * 2 + 2 >= index.slots && !GrowNameIndex(index)))
        return true; // out of memory: the name is taken as new
    DWORD slot = FoldedHash(name) & (index.slots - 1);
    while (index.names[slot] != nullptr) {
        if (SameName(index.names[slot], name)) {
            if (existing != nullptr)
                *existing = index.values[slot];
            return false;
        }
        slot = (slot + 1) & (index.slots - 1);
    }
    index.names[slot] = name;
    index.values[slot] = value;
    ++index.count;
    return true;
}

bool FindName(const NameIndex& index, LPCWSTR name, DWORD* value)
{
    if (index.names == nullptr)
        return false;
    DWORD slot = FoldedHash(name) & (index.slots - 1);
    while (index.names[slot] != nullptr) {
        if (SameName(index.names[slot], name)) {
            if (value != nullptr)
                *value = index.values[slot];
            return true;
        }
        slot = (slot + 1) & (index.slots - 1);
    }
    return false;
}

void Append(TextBuilder& builder, LPCWSTR text)
{
    if (builder.chars == 0 || builder.used + 1 >= builder.chars)
        return;
    size_t length = wcslen(text);
    size_t room = builder.chars - builder.used - 1;
    if (length <= room) {
        CopyMemory(builder.buffer + builder.used, text, length * sizeof(WCHAR));
        builder.used += length;
    } else {
        // Cut where it shows: the end is marked, never a silently shorter name.
        size_t keep = room > 0 ? room - 1 : 0;
        CopyMemory(builder.buffer + builder.used, text, keep * sizeof(WCHAR));
        builder.used += keep;
        builder.buffer[builder.used++] = L'…';
    }
    builder.buffer[builder.used] = L'\0';
}

LPCWSTR ImportActionName(const ImportRow& row)
{
    switch (row.action) {
    case ImportCreate:
        return L"作成";
    case ImportChange:
        return L"変更";
    case ImportNothing:
        break;
    }
    return L"変更なし";
}

namespace {
// The memberships a row states, added or removed, as "見出し: a, b".
void AppendMemberships(const ImportTable* table, DWORD row, bool remove, TextBuilder& text)
{
    const ImportRow& r = table->rows[row];
    bool first = true;
    for (DWORD i = 0; i < table->membershipCount; ++i) {
        const ImportMembership& m = table->memberships[i];
        if (m.owner != row || m.remove != remove)
            continue;
        if (first) {
            if (text.used > 0)
                Append(text, L"、");
            if (r.group)
                Append(text, remove ? L"メンバーから削除: " : L"メンバーに追加: ");
            else
                Append(text, remove ? L"グループから削除: " : L"グループに追加: ");
        } else {
            Append(text, L", ");
        }
        first = false;
        Append(text, r.group ? m.member : m.group);
    }
}
} // namespace

void DescribeImportPlan(const ImportTable* table, DWORD row, LPWSTR buffer, size_t chars)
{
    TextBuilder text = {buffer, chars, 0};
    if (chars > 0)
        buffer[0] = L'\0';
    const ImportRow& r = table->rows[row];
    if (r.action == ImportCreate && !r.group && r.cells[ColumnPassword][0] == L'\0')
        Append(text, L"パスワードを生成 (次回ログイン時に変更)");
    if (r.action == ImportChange) {
        for (int column = ColumnFullName; column < ImportColumnCount; ++column) {
            if ((r.changedColumns & (1u << column)) == 0)
                continue;
            Append(text, text.used > 0 ? L", " : L"変更する項目: ");
            Append(text, ImportColumnName(static_cast<ImportColumn>(column)));
        }
    }
    AppendMemberships(table, row, false, text);
    AppendMemberships(table, row, true, text);
    if (r.action != ImportCreate && !r.group && r.cells[ColumnPassword][0] != L'\0') {
        if (text.used > 0)
            Append(text, L"、");
        Append(text, L"既存のユーザーのパスワードは変更しません");
    }
}

void DescribeImportResult(const ImportTable* table, DWORD row, LPWSTR buffer, size_t chars)
{
    const ImportRow& r = table->rows[row];
    if (r.outcome == ImportFailed)
        FormatBounded(buffer, chars, L"失敗: %s", r.failure != nullptr ? r.failure : L"");
    else if (r.outcome == ImportPending)
        FormatBounded(buffer, chars, L"未実行");
    else if (r.action == ImportCreate)
        FormatBounded(buffer, chars, L"作成しました");
    else if (r.action == ImportChange)
        FormatBounded(buffer, chars, L"変更しました");
    else
        FormatBounded(buffer, chars, L"変更はありません");
}

ImportCounts CountImport(const ImportTable* table)
{
    ImportCounts counts = {};
    for (DWORD i = 0; table != nullptr && i < table->rowCount; ++i) {
        const ImportRow& r = table->rows[i];
        if (r.action == ImportCreate)
            ++counts.create;
        else if (r.action == ImportChange)
            ++counts.change;
        else
            ++counts.nothing;
        if (r.outcome == ImportDone)
            ++counts.done;
        else if (r.outcome == ImportFailed)
            ++counts.failed;
        if (r.generatedPassword && r.outcome != ImportPending)
            ++counts.passwords;
    }
    for (DWORD i = 0; table != nullptr && i < table->removalCount; ++i) {
        const ImportRemoval& removal = table->removals[i];
        if (removal.kept != nullptr)
            ++counts.kept;
        else
            ++counts.remove;
        if (removal.outcome == ImportDone)
            ++counts.removed;
        else if (removal.outcome == ImportFailed)
            ++counts.removeFailed;
    }
    return counts;
}

void FreeImportTable(ImportTable* table)
{
    if (table == nullptr)
        return;
    if (table->text != nullptr) {
        SecureZeroMemory(table->text, table->textChars * sizeof(WCHAR));
        ImportFree(table->text);
    }
    for (DWORD i = 0; table->rows != nullptr && i < table->rowCount; ++i) {
        SecureZeroMemory(table->rows[i].password, sizeof(table->rows[i].password));
        ImportFree(table->rows[i].failure);
    }
    ImportFree(table->rows);
    FreeImportRemovals(table);
    ImportFree(table->memberships);
    ImportFree(table->problems);
    while (table->arena != nullptr) {
        ImportArenaBlock* next = table->arena->next;
        ImportFree(table->arena);
        table->arena = next;
    }
    ImportFree(table);
}

DWORD GenerateImportPassword(LPWSTR buffer, size_t chars)
{
    // No look-alikes (I l 1 O 0) and no quotes: the password is read off a
    // sheet of paper and may end up in a CSV file.
    static const wchar_t Upper[] = L"ABCDEFGHJKLMNPQRSTUVWXYZ";
    static const wchar_t Lower[] = L"abcdefghijkmnopqrstuvwxyz";
    static const wchar_t Digits[] = L"23456789";
    static const wchar_t Symbols[] = L"#%&*+-=?@_";
    static const wchar_t* const Classes[] = {Upper, Lower, Digits, Symbols};
    WCHAR alphabet[80];
    TextBuilder all = {alphabet, 80, 0};
    for (LPCWSTR set : Classes)
        Append(all, set);
    const DWORD size = static_cast<DWORD>(all.used);
    // Bytes at or above `limit` would favour the first characters: drawn again.
    const DWORD limit = 256 - 256 % size;
    if (chars < ImportPasswordChars + 1)
        return ERROR_INSUFFICIENT_BUFFER;
    BYTE random[64];
    for (;;) {
        size_t filled = 0;
        while (filled < ImportPasswordChars) {
            NTSTATUS status =
                BCryptGenRandom(nullptr, random, sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
            if (status != 0) {
                SecureZeroMemory(random, sizeof(random));
                SecureZeroMemory(buffer, chars * sizeof(WCHAR));
                return static_cast<DWORD>(status);
            }
            for (size_t i = 0; i < sizeof(random) && filled < ImportPasswordChars; ++i)
                if (random[i] < limit)
                    buffer[filled++] = alphabet[random[i] % size];
        }
        buffer[ImportPasswordChars] = L'\0';
        // Complexity rules want three of the four classes; all four always pass.
        bool hasEvery = true;
        for (LPCWSTR set : Classes)
            hasEvery = hasEvery && wcspbrk(buffer, set) != nullptr;
        if (hasEvery)
            break;
    }
    SecureZeroMemory(random, sizeof(random));
    return 0;
}

namespace {
// Draws `count` characters of `alphabet` (of `size`, at most 256) without
// bias: a byte at or above the largest multiple of `size` is drawn again.
DWORD DrawCharacters(LPCWSTR alphabet, DWORD size, LPWSTR out, size_t count)
{
    const DWORD limit = 256 - 256 % size;
    BYTE random[64];
    size_t filled = 0;
    while (filled < count) {
        NTSTATUS status =
            BCryptGenRandom(nullptr, random, sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (status != 0) {
            SecureZeroMemory(random, sizeof(random));
            return static_cast<DWORD>(status);
        }
        for (size_t i = 0; i < sizeof(random) && filled < count; ++i)
            if (random[i] < limit)
                out[filled++] = alphabet[random[i] % size];
    }
    SecureZeroMemory(random, sizeof(random));
    return 0;
}
} // namespace

DWORD GenerateEasyImportPassword(LPWSTR buffer, size_t chars)
{
    // Letters and digits sit on the same keys of a Japanese and a US keyboard,
    // and so does the hyphen; none needs the input method switched off first
    // in a way a symbol would. The look-alikes 0 O o 1 l I are left out.
    static const wchar_t Upper[] = L"ABCDEFGHJKLMNPQRSTUVWXYZ";
    static const wchar_t Lower[] = L"abcdefghijkmnpqrstuvwxyz";
    static const wchar_t Digits[] = L"23456789";
    static const wchar_t Alphabet[] =
        L"ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
    constexpr size_t Drawn = 12;
    constexpr size_t GroupChars = 4;
    if (chars < ImportEasyPasswordChars + 1)
        return ERROR_INSUFFICIENT_BUFFER;
    WCHAR drawn[Drawn + 1];
    for (;;) {
        DWORD status = DrawCharacters(Alphabet, ARRAYSIZE(Alphabet) - 1, drawn, Drawn);
        if (status != 0) {
            SecureZeroMemory(drawn, sizeof(drawn));
            SecureZeroMemory(buffer, chars * sizeof(WCHAR));
            return status;
        }
        drawn[Drawn] = L'\0';
        // Upper, lower and digits, with the hyphen's symbol: every complexity
        // rule's classes.
        if (wcspbrk(drawn, Upper) != nullptr && wcspbrk(drawn, Lower) != nullptr &&
            wcspbrk(drawn, Digits) != nullptr)
            break;
    }
    size_t at = 0;
    for (size_t i = 0; i < Drawn; ++i) {
        if (i > 0 && i % GroupChars == 0)
            buffer[at++] = L'-';
        buffer[at++] = drawn[i];
    }
    buffer[at] = L'\0';
    SecureZeroMemory(drawn, sizeof(drawn));
    return 0;
}

LPCWSTR ImportPasswordFormName(ImportPasswordForm form)
{
    return form == ImportPasswordsEasy ? L"入力しやすい形式 (英数字 12 文字、4 文字ずつハイフン区切り)"
                                       : L"強力な形式 (記号を含む 16 文字)";
}

bool ImportGeneratesPasswords(const ImportTable* table)
{
    for (DWORD i = 0; table != nullptr && i < table->rowCount; ++i) {
        const ImportRow& r = table->rows[i];
        if (!r.group && r.action == ImportCreate && r.cells[ColumnPassword][0] == L'\0')
            return true;
    }
    return false;
}
