// Buffers, server names, sessions and rights for the exported functions.
#include "api.h"

#include <cwchar>

namespace ambsim {

const wchar_t kSessionVariable[] = L"AMBRELLE_SIM_SESSION";

BYTE* AllocReturnBuffer(size_t bytes)
{
    return static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1));
}

namespace {

size_t Align(size_t offset, size_t to)
{
    return (offset + to - 1) / to * to;
}

} // namespace

LPWSTR Packer::Str(const std::wstring& s)
{
    offset_ = Align(offset_, 2);
    size_t bytes = (s.size() + 1) * sizeof(wchar_t);
    LPWSTR p = nullptr;
    if (base_ != nullptr) {
        p = reinterpret_cast<LPWSTR>(base_ + offset_);
        memcpy(p, s.c_str(), bytes);
    }
    offset_ += bytes;
    return p;
}

BYTE* Packer::Bytes(const void* data, size_t n)
{
    offset_ = Align(offset_, 8);
    BYTE* p = nullptr;
    if (base_ != nullptr) {
        p = base_ + offset_;
        memcpy(p, data, n);
    }
    offset_ += n;
    return p;
}

PSID Packer::Sid(const std::wstring& text)
{
    std::vector<BYTE> binary;
    if (!SidToBinary(text, binary))
        return nullptr;
    return Bytes(binary.data(), binary.size());
}

size_t MeasureEntry(size_t entrySize, FillEntry fill, const void* context, size_t index)
{
    std::vector<BYTE> scratch(entrySize, 0);
    Packer measure(nullptr, entrySize);
    fill(measure, context, index, scratch.data());
    return Align(measure.End(), 8);
}

DWORD PackEntries(size_t entrySize, FillEntry fill, const void* context, size_t first, size_t count,
                  LPBYTE* out)
{
    *out = nullptr;
    if (count == 0)
        return 0;
    std::vector<BYTE> scratch(entrySize, 0);
    Packer measure(nullptr, entrySize * count);
    for (size_t i = 0; i < count; ++i) {
        memset(scratch.data(), 0, entrySize);
        fill(measure, context, first + i, scratch.data());
    }
    BYTE* buffer = AllocReturnBuffer(measure.End());
    if (buffer == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    Packer pack(buffer, entrySize * count);
    for (size_t i = 0; i < count; ++i)
        fill(pack, context, first + i, buffer + i * entrySize);
    *out = buffer;
    return 0;
}

size_t EntriesThatFit(size_t entrySize, FillEntry fill, const void* context, size_t first,
                      size_t total, DWORD prefmaxlen)
{
    if (first >= total)
        return 0;
    if (prefmaxlen == MAX_PREFERRED_LENGTH)
        return total - first;
    size_t used = 0, count = 0;
    for (size_t i = first; i < total; ++i) {
        size_t size = MeasureEntry(entrySize, fill, context, i);
        if (count > 0 && used + size > prefmaxlen)
            break;
        used += size;
        ++count;
    }
    return count;
}

// Diagnostics of the simulation itself, not a Windows function: how often this
// process has parsed the world (the tests check that reads reuse the cache).
extern "C" LONG WINAPI AmbSim_ParseCount()
{
    return ParseCount();
}

std::wstring Str(LPCWSTR s)
{
    return s ? std::wstring(s) : std::wstring();
}

DWORD TargetComputer(World& w, LPCWSTR server, ServerErrors errors, Computer*& out)
{
    const Computer* c = nullptr;
    DWORD status = TargetComputer(static_cast<const World&>(w), server, errors, c);
    out = const_cast<Computer*>(c);
    return status;
}

DWORD TargetComputer(const World& w, LPCWSTR server, ServerErrors errors, const Computer*& out)
{
    out = nullptr;
    std::wstring name = Str(server);
    size_t slashes = 0;
    while (slashes < name.size() && name[slashes] == L'\\')
        ++slashes;
    name.erase(0, slashes);
    DWORD unreachable =
        errors == ServerErrors::NetApi ? ERROR_BAD_NETPATH : RPC_S_SERVER_UNAVAILABLE;
    // Windows' account functions refuse a server name made of backslashes alone (one or
    // two) as an invalid name, before they look for any computer.
    if (slashes != 0 && name.empty() && errors == ServerErrors::NetApi)
        return ERROR_INVALID_NAME;
    if ((slashes != 0 && slashes != 2) || name.size() > 255 ||
        name.find_first_of(L"\\/") != std::wstring::npos)
        return errors == ServerErrors::NetApi ? DWORD(NERR_InvalidComputer)
                                              : DWORD(RPC_S_INVALID_NET_ADDR);
    if (name.empty() || SameText(name, L"localhost") || name == L"127.0.0.1" || name == L"::1") {
        if (slashes == 2 && name.empty())
            return errors == ServerErrors::NetApi ? DWORD(NERR_InvalidComputer)
                                                  : DWORD(RPC_S_INVALID_NET_ADDR);
        out = &w.Local();
        return 0;
    }
    const Computer* c = w.FindComputer(name);
    if (c == nullptr || c->offline)
        return unreachable;
    out = c;
    return 0;
}

Session CurrentSession(const World& w)
{
    wchar_t buffer[512];
    DWORD n = GetEnvironmentVariableW(kSessionVariable, buffer, 512);
    if (n == 0 || n >= 512)
        return w.session;
    std::wstring text(buffer, n);
    size_t a = text.find(L';');
    size_t b = a == std::wstring::npos ? a : text.find(L';', a + 1);
    if (b == std::wstring::npos)
        return w.session;
    Session s;
    s.user = text.substr(0, a);
    s.admin = text.substr(a + 1, b - a - 1) == L"1";
    s.elevated = text.substr(b + 1) == L"1";
    // The same user's logon keeps what the variable does not carry.
    if (SameText(s.user, w.session.user)) {
        s.password = w.session.password;
        s.tokenSids = w.session.tokenSids;
    }
    return s;
}

namespace {
thread_local DWORD t_roundTripMs = 0;
thread_local DWORD t_random = 0;

// A random extra wait of 0 to AMBRELLE_SIM_JITTER_MS milliseconds (at most
// 10000), in microseconds: answers then come back out of the order in which
// calls went out, as they do on a network.
LONGLONG JitterMicroseconds()
{
    wchar_t text[16];
    DWORD n = GetEnvironmentVariableW(L"AMBRELLE_SIM_JITTER_MS", text, 16);
    if (n == 0 || n >= 16)
        return 0;
    unsigned long maximum = wcstoul(text, nullptr, 10);
    if (maximum == 0 || maximum > 10000)
        return 0;
    if (t_random == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        t_random = ((GetCurrentThreadId() * 2654435761u) ^ static_cast<DWORD>(now.QuadPart)) | 1;
    }
    t_random ^= t_random << 13; // xorshift32
    t_random ^= t_random >> 17;
    t_random ^= t_random << 5;
    return t_random % (maximum * 1000 + 1);
}

using DelayExecutionFn = LONG(WINAPI*)(BOOLEAN, const LARGE_INTEGER*);

// ntdll's NtDelayExecution, which Wine serves to the microsecond with a
// select() timeout; null where it cannot be found.
DelayExecutionFn DelayExecution()
{
    static DelayExecutionFn delay = reinterpret_cast<DelayExecutionFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
    return delay;
}
} // namespace

void NoteRoundTrip(const Computer& c)
{
    t_roundTripMs = c.latencyMs;
}

void NoteWait(DWORD ms)
{
    t_roundTripMs = ms;
}

void ForgetRoundTrip()
{
    t_roundTripMs = 0;
}

// Sleeps most of the time and spins the last stretch (0.1 ms): Sleep alone
// overshoots by up to a tick on Windows. The sleep holds no processor, so that
// many calls in flight at once wait side by side as on a network; the spin
// keeps it, as yielding it on a busy machine overshoots as well.
void WaitRoundTrip()
{
    DWORD ms = t_roundTripMs;
    t_roundTripMs = 0;
    if (ms == 0)
        return;
    LARGE_INTEGER frequency, now, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    LONGLONG microseconds = static_cast<LONGLONG>(ms) * 1000 + JitterMicroseconds();
    end.QuadPart = now.QuadPart + frequency.QuadPart * microseconds / 1000000;
    DelayExecutionFn delay = DelayExecution();
    for (;;) {
        QueryPerformanceCounter(&now);
        if (now.QuadPart >= end.QuadPart)
            break;
        LONGLONG left = (end.QuadPart - now.QuadPart) * 1000000 / frequency.QuadPart;
        if (left >= 200 && delay != nullptr) {
            LARGE_INTEGER interval;
            interval.QuadPart = -(left - 100) * 10; // relative, in 100 ns
            delay(FALSE, &interval);
        } else if (left >= 2000) {
            Sleep(static_cast<DWORD>(left / 1000 - 1));
        } else {
            YieldProcessor();
        }
    }
}

} // namespace ambsim
