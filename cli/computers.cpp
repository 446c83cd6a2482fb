// The target computers of "/computer:LIST": the list or its file read and
// checked, and one job run on several computers at once, each computer's
// output gathered on its own thread and printed whole, in the order given.
#include "computers.h"

#include "connectas.h"
#include "errortext.h"

#include <cstdio>
#include <cwchar>

static const wchar_t CommandLineError[] = L"エラー : コマンド ラインの指定が正しくありません。\n\n";
// A list of computers is a short text file; anything larger is not one.
static const DWORD MaxListFileBytes = 4 * 1024 * 1024;

static bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\x3000';
}

// A computer name, DNS name or IPv4 address holds none of these: the
// characters that NetBIOS and DNS names both refuse, the list's own comma,
// blanks and control characters.
static bool IsComputerNameCharacter(wchar_t c)
{
    return c > L' ' && c != 0x7F && c != L'\x3000' && wcschr(L"\\/:*?\"<>|,;=+[]@", c) == nullptr;
}

// Leading backslashes and surrounding blanks go, as the remote dialog takes
// them away. The rest must be a name a computer can have; it is copied into a
// new block, or null is returned (out of memory: *outOfMemory).
static wchar_t* CleanComputerName(const wchar_t* text, size_t length, bool* outOfMemory)
{
    size_t start = 0;
    while (start < length && (text[start] == L'\\' || IsBlank(text[start])))
        ++start;
    size_t end = length;
    while (end > start && IsBlank(text[end - 1]))
        --end;
    if (end == start || end - start >= ComputerNameChars)
        return nullptr;
    for (size_t i = start; i < end; ++i)
        if (!IsComputerNameCharacter(text[i]))
            return nullptr;
    wchar_t* name = AllocText(ComputerNameChars);
    if (name == nullptr) {
        *outOfMemory = true;
        return nullptr;
    }
    wmemcpy(name, text + start, end - start);
    return name;
}

static bool AddComputer(ComputerList* computers, size_t capacity, const wchar_t* text,
                        size_t length)
{
    bool outOfMemory = false;
    if (computers->count >= capacity)
        return false;
    wchar_t* name = CleanComputerName(text, length, &outOfMemory);
    if (name == nullptr)
        return false;
    // A computer named twice (any case) runs once, in its first place.
    for (size_t i = 0; i < computers->count; ++i) {
        if (CompareStringOrdinal(computers->names[i], -1, name, -1, TRUE) == CSTR_EQUAL) {
            FreeBlock(name);
            return true;
        }
    }
    computers->names[computers->count++] = name;
    return true;
}

static size_t CountPieces(const wchar_t* text, wchar_t separator)
{
    size_t count = 1;
    for (const wchar_t* p = text; *p != L'\0'; ++p)
        if (*p == separator)
            ++count;
    return count;
}

static bool AllocNames(ComputerList* computers, size_t capacity)
{
    computers->names = static_cast<wchar_t**>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, capacity * sizeof(wchar_t*)));
    return computers->names != nullptr;
}

// "NAME,NAME,...": every item must be a name; an empty item is refused.
static bool SplitNameList(const wchar_t* list, ComputerList* computers)
{
    size_t capacity = CountPieces(list, L',');
    if (!AllocNames(computers, capacity))
        return false;
    const wchar_t* item = list;
    for (;;) {
        const wchar_t* end = wcschr(item, L',');
        size_t length = end != nullptr ? static_cast<size_t>(end - item) : wcslen(item);
        if (!AddComputer(computers, capacity, item, length))
            return false;
        if (end == nullptr)
            return true;
        item = end + 1;
    }
}

// One name a line; blank lines and lines beginning with # are skipped.
static bool SplitNameLines(const wchar_t* text, ComputerList* computers)
{
    size_t capacity = CountPieces(text, L'\n');
    if (!AllocNames(computers, capacity))
        return false;
    const wchar_t* line = text;
    while (*line != L'\0') {
        const wchar_t* end = wcschr(line, L'\n');
        size_t length = end != nullptr ? static_cast<size_t>(end - line) : wcslen(line);
        size_t used = length;
        if (used > 0 && line[used - 1] == L'\r')
            --used;
        size_t first = 0;
        while (first < used && IsBlank(line[first]))
            ++first;
        bool skipped = first == used || line[first] == L'#';
        if (!skipped && !AddComputer(computers, capacity, line, used))
            return false;
        if (end == nullptr)
            break;
        line = end + 1;
    }
    return computers->count > 0;
}

// The file's text: UTF-8 (with or without its byte-order mark) when it is
// valid UTF-8, else Shift_JIS (code page 932) as Japanese Notepad and Excel
// save it. Null with *status set when it cannot be read or is neither.
static wchar_t* ReadListFile(const wchar_t* path, DWORD* status)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *status = GetLastError();
        return nullptr;
    }
    LARGE_INTEGER size = {};
    BYTE* bytes = nullptr;
    DWORD read = 0;
    *status = 0;
    if (!GetFileSizeEx(file, &size))
        *status = GetLastError();
    else if (size.QuadPart > MaxListFileBytes)
        *status = ERROR_FILE_TOO_LARGE;
    else if ((bytes = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                   static_cast<SIZE_T>(size.QuadPart) + 1))) ==
             nullptr)
        *status = ERROR_NOT_ENOUGH_MEMORY;
    else if (!ReadFile(file, bytes, static_cast<DWORD>(size.QuadPart), &read, nullptr))
        *status = GetLastError();
    CloseHandle(file);
    wchar_t* text = nullptr;
    if (*status == 0) {
        const BYTE* start = bytes;
        int length = static_cast<int>(read);
        bool bom = length >= 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF;
        if (bom) {
            start += 3;
            length -= 3;
        }
        const char* chars = reinterpret_cast<const char*>(start);
        UINT codePage = CP_UTF8;
        int wide = length == 0 ? 0
                               : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, chars, length,
                                                     nullptr, 0);
        if (wide == 0 && length > 0 && !bom) {
            codePage = 932;
            wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, chars, length, nullptr, 0);
        }
        if (wide == 0 && length > 0) {
            *status = ERROR_NO_UNICODE_TRANSLATION;
        } else {
            text = AllocText(static_cast<size_t>(wide) + 1);
            if (text == nullptr)
                *status = ERROR_NOT_ENOUGH_MEMORY;
            else if (length > 0)
                MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, chars, length, text, wide);
            // A NUL character would end the text early and hide the names after it.
            if (text != nullptr && wcslen(text) != static_cast<size_t>(wide))
                *status = ERROR_INVALID_DATA;
        }
    }
    FreeBlock(bytes);
    if (*status != 0) {
        FreeBlock(text);
        return nullptr;
    }
    return text;
}

static void PrintListFileError(const wchar_t* path, DWORD status)
{
    LPWSTR text = FormatErrorText(status);
    PrintFormatted(L"エラー : コンピューターの一覧 %s を読み取れませんでした。\n", path);
    PrintFormatted(L"エラー番号 : 0x%08X\n", status);
    PrintFormatted(L"エラー詳細 :\n　%s\n\n", TextOrEmpty(text));
    LocalFree(text);
}

bool ReadComputerList(const wchar_t* list, ComputerList* computers)
{
    *computers = ComputerList();
    bool read = false;
    if (list[0] == L'@' && list[1] != L'\0') {
        DWORD status = 0;
        wchar_t* text = ReadListFile(list + 1, &status);
        if (text == nullptr) {
            PrintListFileError(list + 1, status);
            return false;
        }
        read = SplitNameLines(text, computers);
        FreeBlock(text);
    } else if (list[0] != L'@') {
        read = SplitNameList(list, computers);
    }
    if (!read) {
        FreeComputerList(computers);
        PrintText(CommandLineError);
    }
    return read;
}

void FreeComputerList(ComputerList* computers)
{
    for (size_t i = 0; computers->names != nullptr && i < computers->count; ++i)
        FreeBlock(computers->names[i]);
    FreeBlock(computers->names);
    *computers = ComputerList();
}

// ---- The connection account on several computers -------------------------

// Until a logon has succeeded somewhere, at most two computers may have been
// tried (or be in trial) and refused the logon: a mistyped password then stops
// the run after two bad-password counts instead of one on every computer.
// Once it has succeeded, a refusal is that computer's own (passwords may
// differ) and the others go on at full speed.
struct LogonGate
{
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE changed;
    size_t inTrial = 0;
    size_t refused = 0;
    size_t succeeded = 0;
    size_t nextTurn = 0; // computers pass the gate in the list's order
};
constexpr size_t RefusalsBeforeStop = 2;

static bool IsLogonRefusal(DWORD status)
{
    return status == ERROR_LOGON_FAILURE || status == ERROR_ACCOUNT_LOCKED_OUT;
}

static bool LogonStopped(const LogonGate& gate)
{
    return gate.succeeded == 0 && gate.refused >= RefusalsBeforeStop;
}

// False when the computer (at `index` in the list) is not to be tried.
// *inTrial: counted as a trial. The first computers of the list are the ones
// tried first, whichever worker thread reaches the gate first.
static bool EnterLogonGate(LogonGate* gate, size_t index, bool* inTrial)
{
    EnterCriticalSection(&gate->lock);
    while (gate->nextTurn != index ||
           (gate->succeeded == 0 && !LogonStopped(*gate) &&
            gate->refused + gate->inTrial >= RefusalsBeforeStop))
        SleepConditionVariableCS(&gate->changed, &gate->lock, INFINITE);
    bool go = !LogonStopped(*gate);
    *inTrial = go && gate->succeeded == 0;
    if (*inTrial)
        ++gate->inTrial;
    ++gate->nextTurn;
    LeaveCriticalSection(&gate->lock);
    WakeAllConditionVariable(&gate->changed);
    return go;
}

// A computer that never reached the gate gives its turn to the next one.
static void PassLogonGate(LogonGate* gate, size_t index)
{
    EnterCriticalSection(&gate->lock);
    while (gate->nextTurn != index)
        SleepConditionVariableCS(&gate->changed, &gate->lock, INFINITE);
    ++gate->nextTurn;
    LeaveCriticalSection(&gate->lock);
    WakeAllConditionVariable(&gate->changed);
}

static void LeaveLogonGate(LogonGate* gate, bool inTrial, DWORD status)
{
    EnterCriticalSection(&gate->lock);
    if (inTrial)
        --gate->inTrial;
    if (status == 0)
        ++gate->succeeded;
    else if (IsLogonRefusal(status))
        ++gate->refused;
    LeaveCriticalSection(&gate->lock);
    WakeAllConditionVariable(&gate->changed);
}

static void PrintConnectionFailure(const wchar_t* computer, const wchar_t* user, DWORD status)
{
    wchar_t caption[ComputerNameChars + ConnectionUserMaxChars + 64] = {};
    FormatBounded(caption, sizeof(caption) / sizeof(caption[0]),
                  L"コンピューター %s に %s として接続できませんでした。", computer, user);
    PrintNetError(caption, status);
}

// Connects the calling thread's computer under the account; prints the
// failure. Returns the status.
static DWORD ConnectAs(const ConnectionAccount& account, const wchar_t* computer)
{
    wchar_t qualified[QualifiedUserChars] = {};
    if (!QualifyConnectionUser(computer, account.user, qualified, QualifiedUserChars)) {
        PrintConnectionFailure(computer, account.user, ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    DWORD status = ERROR_LOGON_FAILURE;
    if (!account.fromVault) {
        status = ConnectToComputer(computer, qualified, account.password);
    } else {
        const VaultConnectionPassword* entry = FindVaultConnectionPassword(account, computer);
        if (entry == nullptr) {
            PrintFormatted(
                L"エラー : パスワード保管庫に、コンピューター %s のアカウント %s のパスワードがありません。\n\n",
                computer, account.user);
            return ERROR_NOT_FOUND;
        }
        // Where a change has no recorded outcome, its password or the one
        // before may be in force: the newer is tried first.
        for (int i = 0; i < entry->count && status == ERROR_LOGON_FAILURE; ++i)
            status = ConnectToComputer(computer, qualified, entry->passwords[i]);
    }
    if (status != NO_ERROR)
        PrintConnectionFailure(computer, qualified, status);
    return status;
}

static void MarkNotRun(ComputerRun& run)
{
    run.notRun = true;
    run.exitCode = ExitCommandFailed;
    PrintText(
        L"未実行 : ほかのコンピューターでログオンに失敗したため、このコンピューターには接続しませんでした。\n\n");
}

// ---- Several computers at once --------------------------------------------

struct ComputerPool
{
    ComputerRun* runs;
    size_t count;
    ComputerWork work;
    const void* job;
    volatile LONG next;
    LogonGate* gate;
};

// The work of one computer under the connection account, or without one.
static void RunConnectedWork(ComputerPool* pool, ComputerRun& run)
{
    const ConnectionAccount* account = GetConnectionAccount();
    if (account == nullptr) {
        pool->work(run, pool->job);
        return;
    }
    bool inTrial = false;
    if (!EnterLogonGate(pool->gate, static_cast<size_t>(&run - pool->runs), &inTrial)) {
        MarkNotRun(run);
        return;
    }
    DWORD status = ConnectAs(*account, run.name);
    LeaveLogonGate(pool->gate, inTrial, status);
    if (status != NO_ERROR) {
        run.status = status;
        run.exitCode = ExitCommandFailed;
        return;
    }
    pool->work(run, pool->job);
    DisconnectFromComputer(run.name);
}

static void RunOneComputer(ComputerPool* pool, ComputerRun& run)
{
    TargetComputer target;
    if (!PrepareTargetComputer(&target, run.name)) {
        if (GetConnectionAccount() != nullptr)
            PassLogonGate(pool->gate, static_cast<size_t>(&run - pool->runs));
        run.status = ERROR_NOT_ENOUGH_MEMORY;
        run.exitCode = ExitCommandFailed;
        return;
    }
    SetThreadTarget(&target);
    SetThreadOutput(&run.output);
    RunConnectedWork(pool, run);
    SetThreadOutput(nullptr);
    SetThreadTarget(nullptr);
    ReleaseTargetComputer(&target);
}

static DWORD WINAPI ComputerWorker(LPVOID parameter)
{
    auto* pool = static_cast<ComputerPool*>(parameter);
    for (;;) {
        size_t index = static_cast<size_t>(InterlockedIncrement(&pool->next) - 1);
        if (index >= pool->count)
            return 0;
        RunOneComputer(pool, pool->runs[index]);
        SetEvent(pool->runs[index].done);
    }
}

void RunOnComputers(ComputerRun* runs, size_t count, ComputerWork work, ComputerFinished finished,
                    const void* job)
{
    LogonGate gate;
    InitializeCriticalSection(&gate.lock);
    InitializeConditionVariable(&gate.changed);
    ComputerPool pool = {runs, count, work, job, 0, &gate};
    HANDLE threads[MaxParallelComputers] = {};
    size_t started = 0;
    for (; started < MaxParallelComputers && started < count; ++started) {
        threads[started] = CreateThread(nullptr, 0, ComputerWorker, &pool, 0, nullptr);
        if (threads[started] == nullptr)
            break;
    }
    // Without a thread at all, the computers are run here, one after another.
    if (started == 0)
        ComputerWorker(&pool);
    for (size_t i = 0; i < count; ++i) {
        WaitForSingleObject(runs[i].done, INFINITE);
        if (finished != nullptr)
            finished(runs[i], job);
    }
    WaitForMultipleObjects(static_cast<DWORD>(started), threads, TRUE, INFINITE);
    for (size_t i = 0; i < started; ++i)
        CloseHandle(threads[i]);
    DeleteCriticalSection(&gate.lock);
}

ComputerRun* NewComputerRuns(const ComputerList& computers)
{
    auto* runs = static_cast<ComputerRun*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, computers.count * sizeof(ComputerRun)));
    if (runs == nullptr)
        return nullptr;
    for (size_t i = 0; i < computers.count; ++i) {
        runs[i] = ComputerRun();
        runs[i].name = computers.names[i];
        runs[i].done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (runs[i].done == nullptr) {
            FreeComputerRuns(runs, i);
            return nullptr;
        }
    }
    return runs;
}

void FreeComputerRuns(ComputerRun* runs, size_t count)
{
    for (size_t i = 0; runs != nullptr && i < count; ++i) {
        FreeTextBuffer(&runs[i].output);
        FreeReportRows(&runs[i].rows);
        if (runs[i].done != nullptr)
            CloseHandle(runs[i].done);
    }
    FreeBlock(runs);
}

void PrintTargetLine(const wchar_t* name)
{
    PrintFormatted(L"対象コンピューター : %s\n\n", name);
}

int RunOnOneTarget(const ComputerList& computers, JobOnTarget run, const void* job)
{
    if (computers.count == 0)
        return run(job);
    TargetComputer target;
    if (!PrepareTargetComputer(&target, computers.names[0]))
        return ExitCommandFailed;
    SetThreadTarget(&target);
    PrintTargetLine(computers.names[0]);
    const ConnectionAccount* account = GetConnectionAccount();
    int exitCode = ExitCommandFailed;
    if (account == nullptr) {
        exitCode = run(job);
    } else if (ConnectAs(*account, computers.names[0]) == NO_ERROR) {
        exitCode = run(job);
        DisconnectFromComputer(computers.names[0]);
    }
    SetThreadTarget(nullptr);
    ReleaseTargetComputer(&target);
    return exitCode;
}

void PrintComputerBlock(const ComputerRun& run)
{
    PrintFormatted(L"[%s]\n", run.name);
    if (run.output.text != nullptr)
        PrintText(run.output.text);
    if (run.output.failed)
        PrintText(L"(メモリが足りないため、出力の一部を表示できませんでした。)\n\n");
}

int PrintComputerSummary(const ComputerRun* runs, size_t count, FILE* stream)
{
    size_t failed = 0;
    size_t notRun = 0;
    for (size_t i = 0; i < count; ++i) {
        if (runs[i].notRun)
            ++notRun;
        else if (runs[i].exitCode != ExitSuccess)
            ++failed;
    }
    TextBuffer line;
    wchar_t counts[160] = {};
    FormatBounded(counts, 160, L"結果 : 成功 %llu 台、失敗 %llu 台",
                  static_cast<unsigned long long>(count - failed - notRun),
                  static_cast<unsigned long long>(failed));
    AppendText(&line, counts, wcslen(counts));
    if (notRun > 0) {
        FormatBounded(counts, 160, L"、未実行 %llu 台", static_cast<unsigned long long>(notRun));
        AppendText(&line, counts, wcslen(counts));
    }
    const wchar_t* separator = L" (失敗 : ";
    for (size_t i = 0; i < count; ++i) {
        if (runs[i].exitCode == ExitSuccess || runs[i].notRun)
            continue;
        AppendText(&line, separator, wcslen(separator));
        AppendText(&line, runs[i].name, wcslen(runs[i].name));
        separator = L", ";
    }
    AppendText(&line, failed > 0 ? L")\n\n" : L"\n\n", failed > 0 ? 3 : 2);
    if (notRun > 0) {
        const wchar_t* why =
            L"ログオンが最初の 2 台で失敗し、成功したコンピューターがないため、残りのコンピューターでは実行しませんでした (誤ったパスワードでアカウントがロックアウトされるのを防ぐため)。ユーザー名とパスワードを確かめてください。\n\n";
        AppendText(&line, why, wcslen(why));
    }
    if (line.text != nullptr) {
        if (stream == stdout)
            PrintText(line.text);
        else
            fputws(line.text, stream);
    }
    FreeTextBuffer(&line);
    return failed == 0 && notRun == 0 ? ExitSuccess : ExitCommandFailed;
}
