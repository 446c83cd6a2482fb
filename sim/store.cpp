// The world's store: in the world folder a JSON document of the world, replaced
// atomically (write aside, flush, rename) under a byte-range lock on "world.lock"
// that every process shares, with a per-process cache of the parsed world keyed
// on the document's generation number.
//
// Each computer's accounts are a document of their own in "computers", named
// after the computer's place and the generation that wrote it and never written
// again: a change of one computer writes that computer's new document and the
// world's, whose rename makes the change. A reader parses again only the
// computers whose documents it has not read, and a large lab costs a write no
// more than one computer does.
//
// A read of an unchanged store takes neither the file lock nor the document's
// head: under Wine each of those is a round trip to the Wine server. Instead
// it compares two things with what the cache was read from: a change stamp in
// world.lock, mapped into every process and bumped by every writer before its
// rename (so a reader that sees the old stamp saw the store before the change),
// and the document's size and last-write time (so a document changed by hand,
// or a folder made again, is read again too). Either differing, or no stamp,
// takes the locked path as before.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <unordered_map>

#include "simcore.h"

namespace ambsim {

namespace {

SRWLOCK g_threadLock = SRWLOCK_INIT;
volatile LONG g_parses = 0;

// Where in world.lock the change stamp lives: past the byte that is locked.
constexpr DWORD kStampOffset = 8;
constexpr DWORD kLockFileSize = 16;

struct DocumentStamp
{
    LONG64 changes = -1; // the shared change stamp
    FILETIME written = {};
    ULONGLONG size = ~0ULL; // ~0: nothing known, never matches
};

struct Cache
{
    std::wstring folder;
    std::wstring document;
    HANDLE lockFile = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    BYTE* view = nullptr;
    std::unique_ptr<World> world;
    std::vector<std::wstring> files; // the document of each cached computer ("": none yet)
    int64_t generation = -1;
    DocumentStamp seen; // what the cached world was read from
};

volatile LONG64* SharedStamp(const Cache& cache)
{
    return cache.view ? reinterpret_cast<volatile LONG64*>(cache.view + kStampOffset) : nullptr;
}

// The stamp and the document's size and time now; size ~0 when either is unknown.
DocumentStamp CurrentStamp(const Cache& cache)
{
    DocumentStamp now;
    volatile LONG64* shared = SharedStamp(cache);
    if (shared == nullptr)
        return now;
    now.changes = InterlockedCompareExchange64(shared, 0, 0);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(cache.document.c_str(), GetFileExInfoStandard, &data))
        return DocumentStamp();
    now.written = data.ftLastWriteTime;
    now.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return now;
}

bool SameStamp(const DocumentStamp& a, const DocumentStamp& b)
{
    return a.size != ~0ULL && a.size == b.size && a.changes == b.changes &&
           CompareFileTime(&a.written, &b.written) == 0;
}

void Forget(Cache& cache)
{
    cache.world.reset();
    cache.files.clear();
    cache.generation = -1;
    cache.seen = DocumentStamp();
}

// Maps the change stamp of world.lock; without it every read takes the lock.
void MapStamp(Cache& cache)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(cache.lockFile, &size))
        return;
    if (size.QuadPart < kLockFileSize) {
        // Another process may be doing the same: both set the same length.
        LARGE_INTEGER end;
        end.QuadPart = kLockFileSize;
        if (!SetFilePointerEx(cache.lockFile, end, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(cache.lockFile))
            return;
    }
    cache.mapping =
        CreateFileMappingW(cache.lockFile, nullptr, PAGE_READWRITE, 0, kLockFileSize, nullptr);
    if (cache.mapping == nullptr)
        return;
    cache.view =
        static_cast<BYTE*>(MapViewOfFile(cache.mapping, FILE_MAP_WRITE, 0, 0, kLockFileSize));
    if (cache.view == nullptr) {
        CloseHandle(cache.mapping);
        cache.mapping = nullptr;
    }
}

void UnmapStamp(Cache& cache)
{
    if (cache.view != nullptr)
        UnmapViewOfFile(cache.view);
    if (cache.mapping != nullptr)
        CloseHandle(cache.mapping);
    cache.view = nullptr;
    cache.mapping = nullptr;
}

Cache& TheCache()
{
    static Cache* cache = new Cache; // never destroyed: usable until the process ends
    return *cache;
}

std::wstring Env(const wchar_t* name)
{
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    if (n == 0 || n >= 1024)
        return std::wstring();
    return std::wstring(buffer, n);
}

bool CreateDirectories(const std::wstring& path)
{
    if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 3)
        return false;
    if (!CreateDirectories(path.substr(0, slash)))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring DocumentPath(const std::wstring& folder)
{
    return folder + L"\\world.json";
}

std::wstring ComputersFolder(const std::wstring& folder)
{
    return folder + L"\\computers";
}

std::wstring ComputerDocumentPath(const std::wstring& folder, const std::wstring& file)
{
    return ComputersFolder(folder) + L"\\" + file;
}

// A name the world's document may give a computer's document: a plain file name.
bool PlainFileName(const std::wstring& name)
{
    return !name.empty() && name[0] != L'.' && name.find_first_of(L"\\/:") == std::wstring::npos;
}

// Holds the cross-process lock (and the in-process one) for its lifetime.
class StoreLock
{
public:
    // Threads of one process take turns (the cache is refreshed in place); the
    // file lock is shared between readers of different processes.
    StoreLock(HANDLE file, bool exclusive) : file_(file), exclusive_(exclusive)
    {
        AcquireSRWLockExclusive(&g_threadLock);
        OVERLAPPED ov = {};
        locked_ = LockFileEx(file_, exclusive_ ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &ov) != 0;
        error_ = locked_ ? 0 : GetLastError();
    }
    ~StoreLock()
    {
        if (locked_) {
            OVERLAPPED ov = {};
            UnlockFileEx(file_, 0, 1, 0, &ov);
        }
        ReleaseSRWLockExclusive(&g_threadLock);
    }
    DWORD Error() const
    {
        return error_;
    }

private:
    HANDLE file_;
    bool exclusive_;
    bool locked_ = false;
    DWORD error_ = 0;
};

// Opens the lock file of the current world folder (once per folder).
DWORD PrepareFolder(Cache& cache)
{
    std::wstring folder = WorldFolder();
    if (folder.empty())
        return ERROR_PATH_NOT_FOUND;
    AcquireSRWLockExclusive(&g_threadLock);
    DWORD status = 0;
    if (folder != cache.folder || cache.lockFile == INVALID_HANDLE_VALUE) {
        UnmapStamp(cache);
        if (cache.lockFile != INVALID_HANDLE_VALUE)
            CloseHandle(cache.lockFile);
        cache.lockFile = INVALID_HANDLE_VALUE;
        Forget(cache);
        cache.folder = folder;
        cache.document = DocumentPath(folder);
        if (!CreateDirectories(ComputersFolder(folder))) {
            status = GetLastError();
            if (status == 0)
                status = ERROR_PATH_NOT_FOUND;
        } else {
            cache.lockFile =
                CreateFileW((folder + L"\\world.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (cache.lockFile == INVALID_HANDLE_VALUE)
                status = GetLastError();
            else
                MapStamp(cache);
        }
    }
    ReleaseSRWLockExclusive(&g_threadLock);
    return status;
}

// The first generation of a new document: the time in milliseconds, so that a
// world made again in the same folder never repeats the generation of the one
// before it (a process that cached the old one would not notice the change).
int64_t FreshGeneration()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(t.QuadPart / 10000);
}

enum class Header { Missing, Unreadable, Ok };

// Reads just the generation number at the head of the document.
Header ReadGeneration(const std::wstring& folder, int64_t& generation)
{
    HANDLE f = CreateFileW(DocumentPath(folder).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? Header::Missing
                                                                        : Header::Unreadable;
    }
    char head[64] = {};
    DWORD got = 0;
    BOOL ok = ReadFile(f, head, sizeof head - 1, &got, nullptr);
    CloseHandle(f);
    if (!ok)
        return Header::Unreadable;
    const char* p = strstr(head, "\"generation\":");
    if (p == nullptr)
        return Header::Unreadable;
    p += 13;
    while (*p == ' ')
        ++p;
    if (*p < '0' || *p > '9')
        return Header::Unreadable;
    int64_t g = 0;
    while (*p >= '0' && *p <= '9')
        g = g * 10 + (*p++ - '0');
    generation = g;
    return Header::Ok;
}

DWORD ReadWholeFile(const std::wstring& path, std::string& text)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return GetLastError();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f, &size) || size.QuadPart > 1024LL * 1024 * 1024) {
        CloseHandle(f);
        return ERROR_FILE_CORRUPT;
    }
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD done = 0;
    BOOL ok =
        text.empty() || ReadFile(f, &text[0], static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(f);
    if (!ok || done != text.size())
        return ERROR_FILE_CORRUPT;
    return 0;
}

// Fills in the computers the world's document names: those of a document the
// cache has already read are taken from it, the others read and parsed.
DWORD LoadComputers(const std::wstring& folder, World& w, const std::vector<std::wstring>& files,
                    World* old, const std::vector<std::wstring>& oldFiles)
{
    std::unordered_map<std::wstring, size_t> cached;
    for (size_t i = 0; old != nullptr && i < oldFiles.size() && i < old->computers.size(); ++i)
        if (!oldFiles[i].empty())
            cached[oldFiles[i]] = i;
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].empty())
            continue; // given in the world's document itself
        if (!PlainFileName(files[i]))
            return ERROR_FILE_CORRUPT;
        auto hit = cached.find(files[i]);
        if (hit != cached.end()) {
            w.computers[i] = std::move(old->computers[hit->second]);
            cached.erase(hit);
            continue;
        }
        std::string text;
        DWORD status = ReadWholeFile(ComputerDocumentPath(folder, files[i]), text);
        if (status != 0)
            return status == ERROR_FILE_NOT_FOUND ? ERROR_FILE_CORRUPT : status;
        InterlockedIncrement(&g_parses);
        if (!ParseComputer(text, w.computers[i]))
            return ERROR_FILE_CORRUPT;
    }
    return 0;
}

// Brings the cache up to date with the document. Caller holds the lock.
// Missing: *missing is set and nothing is loaded.
DWORD Refresh(Cache& cache, bool* missing)
{
    // Taken before the document is read: a document changed in between is
    // then read again next time rather than trusted under a newer stamp.
    DocumentStamp stamp = CurrentStamp(cache);
    int64_t generation = 0;
    Header h = ReadGeneration(cache.folder, generation);
    if (h == Header::Missing) {
        *missing = true;
        Forget(cache);
        return 0;
    }
    *missing = false;
    if (h == Header::Unreadable) {
        Forget(cache);
        return ERROR_FILE_CORRUPT;
    }
    if (cache.world && cache.generation == generation) {
        cache.seen = stamp;
        return 0;
    }
    std::unique_ptr<World> old = std::move(cache.world);
    std::vector<std::wstring> oldFiles = std::move(cache.files);
    Forget(cache);
    std::string text;
    DWORD status = ReadWholeFile(DocumentPath(cache.folder), text);
    if (status != 0)
        return status == ERROR_FILE_NOT_FOUND ? ERROR_FILE_CORRUPT : status;
    std::unique_ptr<World> world(new World);
    std::vector<std::wstring> files;
    InterlockedIncrement(&g_parses);
    if (!ParseWorld(text, *world, files))
        return ERROR_FILE_CORRUPT;
    status = LoadComputers(cache.folder, *world, files, old.get(), oldFiles);
    if (status != 0)
        return status;
    cache.generation = world->generation;
    cache.world = std::move(world);
    cache.files = std::move(files);
    cache.seen = stamp;
    return 0;
}

// Which computers a change may have changed, for Save.
constexpr size_t kEveryComputer = SIZE_MAX; // or the index of the one computer changed
constexpr size_t kNoComputer = SIZE_MAX - 1;

DWORD WriteNewFile(const std::wstring& path, const std::string& text)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD done = 0;
    BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
              done == text.size() && FlushFileBuffers(f);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(f);
    if (!ok)
        DeleteFileW(path.c_str());
    return ok ? 0 : (error != 0 ? error : ERROR_WRITE_FAULT);
}

// Replaces the world's document: aside, flushed, renamed over.
DWORD CommitWorldDocument(Cache& cache, const std::string& text)
{
    std::wstring target = DocumentPath(cache.folder);
    std::wstring aside = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    DWORD error = WriteNewFile(aside, text);
    if (error != 0)
        return error;
    // Before the rename: whoever sees the old stamp from here on waits for this
    // writer's lock; a writer killed after this only costs readers a re-read.
    if (SharedStamp(cache) != nullptr)
        InterlockedIncrement64(SharedStamp(cache));
    if (!MoveFileExW(aside.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        DeleteFileW(aside.c_str());
        return error != 0 ? error : ERROR_WRITE_FAULT;
    }
    return 0;
}

// Computers' documents that the world's document does not name: those it named
// before this writer's change, and any a writer killed before its rename left.
void RemoveUnnamedComputers(const std::wstring& folder, const std::vector<std::wstring>& named)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ComputersFolder(folder) + L"\\*.json").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
        if (std::find(named.begin(), named.end(), fd.cFileName) == named.end())
            DeleteFileW(ComputerDocumentPath(folder, fd.cFileName).c_str());
    while (FindNextFileW(h, &fd));
    FindClose(h);
}

// Writes the cached world as the next generation: the documents of the computers
// that may have changed (`only`), then the world's, which names them.
DWORD Save(Cache& cache, size_t only)
{
    World& w = *cache.world;
    w.generation = (cache.generation < 0 ? 0 : cache.generation) + 1;
    std::vector<std::wstring> files = cache.files;
    files.resize(w.computers.size());
    std::vector<std::wstring> written;
    DWORD error = 0;
    for (size_t i = 0; i < w.computers.size() && error == 0; ++i) {
        if (only != kEveryComputer && only != i && !files[i].empty())
            continue;
        std::wstring name = std::to_wstring(i) + L"." + std::to_wstring(w.generation) + L".json";
        error = WriteNewFile(ComputerDocumentPath(cache.folder, name),
                             SerializeComputer(w.computers[i]));
        if (error == 0) {
            written.push_back(name);
            files[i] = name;
        }
    }
    if (error == 0)
        error = CommitWorldDocument(cache, SerializeWorld(w, files));
    if (error != 0) {
        for (const std::wstring& name : written)
            DeleteFileW(ComputerDocumentPath(cache.folder, name).c_str());
        Forget(cache);
        return error;
    }
    if (only == kEveryComputer) {
        RemoveUnnamedComputers(cache.folder, files);
    } else {
        // No computer came or went: each replaced document is at its own place.
        for (size_t i = 0; i < cache.files.size() && i < files.size(); ++i)
            if (!cache.files[i].empty() && cache.files[i] != files[i])
                DeleteFileW(ComputerDocumentPath(cache.folder, cache.files[i]).c_str());
    }
    cache.files = std::move(files);
    cache.generation = w.generation;
    cache.seen = CurrentStamp(cache);
    return 0;
}

} // namespace

std::wstring WorldFolder()
{
    std::wstring dir = Env(L"AMBRELLE_SIM_DIR");
    if (dir.empty() && GetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", nullptr, 0) > 1)
        return std::wstring(); // named but too long: no world rather than another one
    if (dir.empty()) {
        // No world named: the user's own one.
        std::wstring base = Env(L"LOCALAPPDATA");
        if (base.empty())
            base = Env(L"TEMP");
        if (base.empty())
            return std::wstring();
        dir = base + L"\\AmbSim";
    } else if (dir[0] == L'/') {
        dir = L"Z:" + dir; // a Unix path: Wine's drive Z: is the root
    }
    for (wchar_t& ch : dir)
        if (ch == L'/')
            ch = L'\\';
    while (dir.size() > 3 && dir.back() == L'\\')
        dir.pop_back();
    return dir;
}

namespace {

bool HasFault(const World& w, const wchar_t* function)
{
    if (function == nullptr)
        return false;
    for (const Fault& f : w.faults)
        if (SameText(f.function, function))
            return true;
    return false;
}

// Counts down the faults of `function`; the code of one that fires, else 0.
DWORD CountDown(World& w, const wchar_t* function)
{
    DWORD code = 0;
    for (size_t i = 0; i < w.faults.size();) {
        Fault& f = w.faults[i];
        if (SameText(f.function, function) && --f.remaining == 0) {
            if (code == 0)
                code = f.code;
            w.faults.erase(w.faults.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    return code;
}

} // namespace

namespace {

// A change under the exclusive lock; it sets `only` to the one computer it
// changed, or kNoComputer, when it knows.
using Change = std::function<DWORD(World&, size_t& only)>;

DWORD WriteWorldWith(const wchar_t* function, const Change& change, Refusal refusal)
{
    Cache& cache = TheCache();
    DWORD status = PrepareFolder(cache);
    if (status != 0)
        return status;
    StoreLock lock(cache.lockFile, true);
    if (lock.Error() != 0)
        return lock.Error();
    bool missing = false;
    status = Refresh(cache, &missing);
    if (status != 0)
        return status;
    if (missing) {
        cache.world.reset(new World(MakeDefaultWorld(L"", L"")));
        cache.generation = FreshGeneration();
        status = Save(cache, kEveryComputer);
        if (status != 0)
            return status;
    }
    if (HasFault(*cache.world, function)) {
        DWORD code = CountDown(*cache.world, function);
        status = Save(cache, kNoComputer);
        if (status != 0 || code != 0)
            return status != 0 ? status : code;
    }
    size_t only = kEveryComputer;
    status = change(*cache.world, only);
    if (status == 0 || refusal == Refusal::Kept) {
        DWORD saved = Save(cache, only);
        if (saved != 0)
            return saved;
    } else if (refusal == Refusal::MayHaveChanged) {
        // Forgotten, it is read again from the store, which still has the old world.
        // A refusal that changed nothing keeps the cache: reading a large world
        // again costs far more than the call.
        Forget(cache);
    }
    return status;
}

} // namespace

DWORD ReadWorld(const std::function<DWORD(const World&)>& read)
{
    return ReadWorldFor(nullptr, read);
}

DWORD WriteWorld(const std::function<DWORD(World&)>& change, Refusal refusal)
{
    return WriteWorldFor(nullptr, change, refusal);
}

DWORD ReadWorldFor(const wchar_t* function, const std::function<DWORD(const World&)>& read)
{
    Cache& cache = TheCache();
    DWORD status = PrepareFolder(cache);
    if (status != 0)
        return status;
    {
        AcquireSRWLockExclusive(&g_threadLock);
        bool unchanged = cache.world && !HasFault(*cache.world, function) &&
                         SameStamp(cache.seen, CurrentStamp(cache));
        DWORD result = unchanged ? read(*cache.world) : 0;
        ReleaseSRWLockExclusive(&g_threadLock);
        if (unchanged)
            return result;
    }
    {
        StoreLock lock(cache.lockFile, false);
        if (lock.Error() != 0)
            return lock.Error();
        bool missing = false;
        status = Refresh(cache, &missing);
        if (status != 0)
            return status;
        if (!missing && !HasFault(*cache.world, function))
            return read(*cache.world);
    }
    // No world yet, or a fault to count down: take the write path.
    DWORD result = 0;
    status = WriteWorldWith(
        function,
        [&](World& w, size_t& only) {
            result = read(w);
            only = kNoComputer;
            return DWORD(0);
        },
        Refusal::Kept);
    return status != 0 ? status : result;
}

DWORD WriteWorldFor(const wchar_t* function, const std::function<DWORD(World&)>& change,
                    Refusal refusal)
{
    return WriteWorldWith(
        function, [&](World& w, size_t&) { return change(w); }, refusal);
}

DWORD WriteWorldAloneFor(const wchar_t* function, const std::function<DWORD(World&)>& change)
{
    return WriteWorldWith(
        function,
        [&](World& w, size_t& only) {
            only = kNoComputer;
            return change(w);
        },
        Refusal::ChangesNothing);
}

DWORD WriteComputerFor(const wchar_t* function, const ComputerFinder& find,
                       const std::function<DWORD(const World&, Computer*)>& change)
{
    return WriteWorldWith(
        function,
        [&](World& w, size_t& only) -> DWORD {
            const Computer* found = nullptr;
            DWORD status = find(w, found);
            if (status != 0)
                return status;
            // The finder sees the world as const; the computer is this store's own.
            Computer* c = const_cast<Computer*>(found);
            if (c >= w.computers.data() && c < w.computers.data() + w.computers.size())
                only = static_cast<size_t>(c - w.computers.data());
            return change(w, c);
        },
        Refusal::ChangesNothing);
}

namespace {

// Files written aside by writers that were killed before their rename. Only
// called under the exclusive lock, when no writer can be between the two steps.
void RemoveLeftovers(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\world.json.*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
        DeleteFileW((folder + L"\\" + fd.cFileName).c_str());
    while (FindNextFileW(h, &fd));
    FindClose(h);
}

} // namespace

DWORD ReplaceWorld(const World& w)
{
    Cache& cache = TheCache();
    DWORD status = PrepareFolder(cache);
    if (status != 0)
        return status;
    StoreLock lock(cache.lockFile, true);
    if (lock.Error() != 0)
        return lock.Error();
    RemoveLeftovers(cache.folder);
    int64_t generation = 0;
    Header h = ReadGeneration(cache.folder, generation);
    cache.world.reset(new World(w));
    cache.files.clear();
    cache.generation = h == Header::Ok ? generation : FreshGeneration();
    return Save(cache, kEveryComputer);
}

DWORD TakeFault(const wchar_t* function)
{
    return ReadWorldFor(function, [](const World&) { return DWORD(0); });
}

long ParseCount()
{
    return g_parses;
}

void ForgetCachedWorld()
{
    Cache& cache = TheCache();
    AcquireSRWLockExclusive(&g_threadLock);
    Forget(cache);
    ReleaseSRWLockExclusive(&g_threadLock);
}

} // namespace ambsim
