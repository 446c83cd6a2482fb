// The benchmark's in-process side. Each mode prints "key=value" pairs that
// tools/bench.sh puts in its table.
//   refresh SERVER RUNS LATENCY_MS [BARE_RUNS]
//       The account list's refresh (FillAccountList into an emptied list-view,
//       as command 40015 does) RUNS times and the bare calls it needs (made one
//       after the other) BARE_RUNS times (default RUNS), alternately, with
//       built-in accounts hidden and shown.
//   report SERVER RUNS LATENCY_MS
//       The account report (WriteAccountReport, CSV) RUNS times, and once with
//       its calls made one after the other.
//   percall COUNT
//       The time of one NetUserGetInfo on an unchanged store.
#include <windows.h>

#include <commctrl.h>
#include <lm.h>

#include <algorithm>
#include <climits>
#include <string>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "account_report.h"
#include "accountlist.h"
#include "callcount.h"
#include "globals.h"
#include "importbench.h"
#include "parallelcalls.h"

namespace {

double Milliseconds()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

struct Tally
{
    long calls = 0;
    long userRows = 0;
    long groupRows = 0;
    long groups = 0;
};

// The RID of a group in the two steps, again qualified when the name is also
// the computer's (the lookup then finds the computer's domain).
DWORD BareGroupRid(LPCWSTR server, LPCWSTR name, Tally& tally)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    WCHAR domain[256];
    WCHAR qualified[520];
    LPCWSTR lookup = name;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD sidSize = 0, domainChars = 0;
        SID_NAME_USE use;
        LookupAccountNameW(server, lookup, nullptr, &sidSize, nullptr, &domainChars, &use);
        sidSize = sizeof sid;
        domainChars = 256;
        BOOL ok = LookupAccountNameW(server, lookup, sid, &sidSize, domain, &domainChars, &use);
        tally.calls += 2;
        if (!ok)
            return 0;
        if (attempt == 0 && CompareStringOrdinal(domain, -1, name, -1, TRUE) == CSTR_EQUAL) {
            wcscpy(qualified, domain);
            wcscat(qualified, L"\\");
            wcscat(qualified, name);
            lookup = qualified;
            continue;
        }
        break;
    }
    return *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
}

// Only the platform calls that the rows need, and no list-view.
Tally BareRefresh(LPCWSTR server, LPCWSTR serverArgument, bool showBuiltin)
{
    Tally tally;
    DWORD index = 0;
    NET_API_STATUS status;
    do {
        DWORD count = 0;
        PVOID buffer = nullptr;
        status = NetQueryDisplayInformation(server, 1, index, 100, MAX_PREFERRED_LENGTH, &count,
                                            &buffer);
        ++tally.calls;
        auto* users = static_cast<NET_DISPLAY_USER*>(buffer);
        for (DWORD i = 0; users != nullptr && i < count; ++i) {
            index = users[i].usri1_next_index;
            if (!showBuiltin && users[i].usri1_user_id < 1000)
                continue;
            LPBYTE record = nullptr;
            NetUserGetInfo(serverArgument, users[i].usri1_name, 4, &record);
            NetApiBufferFree(record);
            ++tally.calls;
            ++tally.userRows;
        }
        NetApiBufferFree(buffer);
        if (count == 0)
            break;
    } while (status == ERROR_MORE_DATA);
    LPBYTE buffer = nullptr;
    DWORD count = 0, total = 0;
    NetLocalGroupEnum(server, 1, &buffer, MAX_PREFERRED_LENGTH, &count, &total, nullptr);
    ++tally.calls;
    auto* groups = reinterpret_cast<LOCALGROUP_INFO_1*>(buffer);
    for (DWORD i = 0; groups != nullptr && i < count; ++i) {
        ++tally.groups;
        if (BareGroupRid(server, groups[i].lgrpi1_name, tally) >= 1000 || showBuiltin)
            ++tally.groupRows;
    }
    NetApiBufferFree(buffer);
    return tally;
}

HWND CreateAccountList()
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    // Right after a Wine prefix boots, windows fail to open for a few seconds.
    HWND parent = nullptr;
    for (int attempt = 0; parent == nullptr && attempt < 120; ++attempt) {
        if (attempt > 0)
            Sleep(500);
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_CHILD | LVS_REPORT, 0, 0, 800, 600,
                                parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 100;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    return list;
}

// The list-view's own share of a refresh: the rows now in the list inserted
// again, with the same messages and no platform call.
double ListViewAlone(HWND list)
{
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> cells(static_cast<size_t>(rows) * 4);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < 4; ++column) {
            WCHAR text[256] = {};
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            cells[static_cast<size_t>(row) * 4 + column] = text;
        }
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    double start = Milliseconds();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int row = 0; row < rows; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = INT_MAX;
        item.pszText = const_cast<LPWSTR>(cells[static_cast<size_t>(row) * 4].c_str());
        item.stateMask = LVIS_OVERLAYMASK;
        int index = static_cast<int>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = 1; column < 4; ++column) {
            LVITEMW cell = {};
            cell.iSubItem = column;
            cell.pszText = const_cast<LPWSTR>(cells[static_cast<size_t>(row) * 4 + column].c_str());
            SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&cell));
        }
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    return Milliseconds() - start;
}

// The simulated store is read from its file on a process's first call: made
// before any timing, so that neither side of the first pair pays for it.
void WarmUp(LPCWSTR server)
{
    DWORD count = 0;
    PVOID buffer = nullptr;
    NetQueryDisplayInformation(server, 1, 0, 1, MAX_PREFERRED_LENGTH, &count, &buffer);
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
}

int Refresh(LPCWSTR server, int runs, double latencyMs, int bareRuns)
{
    TargetServer = AllocBuffer(TargetServerChars);
    wcsncpy(TargetServer, server, TargetServerChars - 1);
    LPWSTR serverArgument = AllocServerArgument();
    HWND list = CreateAccountList();
    if (list == nullptr) {
        fprintf(stderr, "AmbBench: no list-view (error %lu)\n", GetLastError());
        return 1;
    }
    if (!CountPlatformCalls()) {
        fprintf(stderr, "AmbBench: the platform calls cannot be counted\n");
        return 1;
    }
    WarmUp(TargetServer);
    for (int shown = 0; shown < 2; ++shown) {
        AppSettings.IsShowBuiltinAccount = shown;
        std::vector<double> ambgui, bare;
        Tally tally;
        PlatformCallCounts counts;
        int rows = 0;
        for (int run = 0; run < runs; ++run) {
            SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
            CallCounts() = PlatformCallCounts();
            double start = Milliseconds();
            FillAccountList(list, AccountListBoth);
            ambgui.push_back(Milliseconds() - start);
            counts = CallCounts();
            rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            if (run >= bareRuns)
                continue;
            start = Milliseconds();
            tally = BareRefresh(TargetServer, serverArgument, shown != 0);
            bare.push_back(Milliseconds() - start);
        }
        double listMs = ListViewAlone(list);
        if (rows != tally.userRows + tally.groupRows)
            fprintf(stderr, "AmbBench: %d rows listed, %ld expected\n", rows,
                    tally.userRows + tally.groupRows);
        long userCalls = counts.queryDisplay + counts.userGetInfo;
        printf("builtin=%s rows=%d ambgui_ms=%.1f bare_ms=%.1f ratio=%.2f calls=%ld "
               "bare_calls=%ld calls_per_user_row=%.3f lookups_per_group=%.2f "
               "floor_ms=%.1f floor_ratio=%.2f list_ms=%.1f\n",
               shown ? "shown" : "hidden", rows, Median(ambgui), Median(bare),
               Median(ambgui) / std::max(Median(bare), 0.001), counts.Total(), tally.calls,
               tally.userRows ? static_cast<double>(userCalls) / tally.userRows : 0.0,
               tally.groups ? counts.lookupName / 2.0 / tally.groups : 0.0, tally.calls * latencyMs,
               latencyMs > 0 ? Median(ambgui) / (tally.calls * latencyMs) : 0.0, listMs);
    }
    DestroyWindow(GetParent(list));
    FreeBuffer(serverArgument);
    FreeBuffer(TargetServer);
    TargetServer = nullptr;
    return 0;
}

// The report of `server` into a temporary file: its time with the calls made
// a few at a time (as the program does) and one after the other, and its calls.
int Report(LPCWSTR server, int runs, double latencyMs)
{
    if (!CountPlatformCalls()) {
        fprintf(stderr, "AmbBench: the platform calls cannot be counted\n");
        return 1;
    }
    WCHAR folder[MAX_PATH], path[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"amb", 0, path))
        return 1;
    LPCWSTR serverArgument = server[0] != L'\0' ? server : nullptr;
    WarmUp(serverArgument);
    std::vector<double> times;
    PlatformCallCounts counts;
    DWORD status = 0;
    for (int run = 0; run < runs && status == 0; ++run) {
        CallCounts() = PlatformCallCounts();
        double start = Milliseconds();
        status = WriteAccountReport(serverArgument, path, ReportCsv);
        times.push_back(Milliseconds() - start);
        counts = CallCounts();
    }
    int inFlight = RemoteCallsInFlight;
    RemoteCallsInFlight = 1;
    double start = Milliseconds();
    if (status == 0)
        status = WriteAccountReport(serverArgument, path, ReportCsv);
    double sequential = Milliseconds() - start;
    RemoteCallsInFlight = inFlight;
    DeleteFileW(path);
    if (status != 0) {
        fprintf(stderr, "AmbBench: the report failed (%lu)\n", status);
        return 1;
    }
    long calls = counts.Total();
    printf("ambgui_ms=%.1f sequential_ms=%.1f calls=%ld floor_ms=%.1f floor_ratio=%.2f\n",
           Median(times), sequential, calls, calls * latencyMs,
           latencyMs > 0 ? Median(times) / (calls * latencyMs) : 0.0);
    return 0;
}

int PerCall(int count)
{
    LPBYTE record = nullptr;
    if (NetUserGetInfo(nullptr, L"kanri", 4, &record) != NERR_Success)
        return 1;
    NetApiBufferFree(record);
    double start = Milliseconds();
    for (int i = 0; i < count; ++i) {
        NetUserGetInfo(nullptr, L"kanri", 4, &record);
        NetApiBufferFree(record);
    }
    printf("us_per_call=%.1f\n", (Milliseconds() - start) * 1000.0 / count);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if ((argc == 5 || argc == 6) && wcscmp(argv[1], L"refresh") == 0)
        return Refresh(wcscmp(argv[2], L"-") == 0 ? L"" : argv[2], _wtoi(argv[3]), _wtof(argv[4]),
                       argc == 6 ? std::max(1, _wtoi(argv[5])) : _wtoi(argv[3]));
    if (argc == 5 && wcscmp(argv[1], L"report") == 0)
        return Report(wcscmp(argv[2], L"-") == 0 ? L"" : argv[2], _wtoi(argv[3]), _wtof(argv[4]));
    if (argc == 5 && wcscmp(argv[1], L"import") == 0)
        return ImportBench(_wtoi(argv[2]), std::max(1, _wtoi(argv[3])),
                           std::max(1, _wtoi(argv[4])));
    if (argc == 3 && wcscmp(argv[1], L"percall") == 0)
        return PerCall(std::max(1, _wtoi(argv[2])));
    fprintf(stderr, "usage: AmbBench refresh SERVER|- RUNS LATENCY_MS [BARE_RUNS] | report "
                    "SERVER|- RUNS LATENCY_MS | percall COUNT\n");
    return 2;
}
