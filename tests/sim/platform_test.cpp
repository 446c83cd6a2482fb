// Profiles, logons, elevation, injected faults and the store itself: atomic
// replacement, damaged documents, concurrent writers, a killed writer, speed.
#include "start_process.h"
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>

#include "simtest.h"

#include <wincred.h>

using namespace simtest;

namespace {

class Platform : public SimTest
{
protected:
    std::wstring ReadWide(const std::wstring& path)
    {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return L"";
        wchar_t buf[256] = {};
        DWORD got = 0;
        ReadFile(f, buf, sizeof buf - 2, &got, nullptr);
        CloseHandle(f);
        return buf;
    }
    std::wstring Document()
    {
        return folder_ + L"\\world.json";
    }
    void WriteDocument(const std::string& text)
    {
        HANDLE f =
            CreateFileW(Document().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD done = 0;
        WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        CloseHandle(f);
    }
    std::set<std::wstring> ComputerDocuments()
    {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((folder_ + L"\\computers\\*.json").c_str(), &fd);
        for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &fd))
            names.insert(fd.cFileName);
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
        return names;
    }
};

TEST_F(Platform, ProfilesAreCreatedOnceAndDeleted)
{
    std::wstring sid = SidOf(L"kanri");
    wchar_t path[260] = {};
    ASSERT_EQ(CreateProfile(sid.c_str(), L"kanri", path, 260), S_OK);
    EXPECT_EQ(std::wstring(path), folder_ + L"\\Profiles\\kanri");
    EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CreateProfile(sid.c_str(), L"kanri", path, 260),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Snapshot().Local().profiles.size(), 1u);
    EXPECT_LT(CreateProfile(L"not a sid", L"x", path, 260), 0);
    EXPECT_LT(CreateProfile((Snapshot().Local().domainSid + L"-4242").c_str(), L"x", path, 260), 0);

    EXPECT_TRUE(DeleteProfileW(sid.c_str(), nullptr, nullptr));
    EXPECT_EQ(GetFileAttributesW((folder_ + L"\\Profiles\\kanri").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(DeleteProfileW(sid.c_str(), nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    SetSession(L"kanri", true, false);
    EXPECT_EQ(CreateProfile(sid.c_str(), L"kanri", path, 260), E_ACCESSDENIED);
}

TEST_F(Platform, InjectedFaultHitsTheNthCallOnce)
{
    Change([](ambsim::World& w) {
        w.faults.push_back(ambsim::Fault{L"NetUserGetInfo", ERROR_NOT_ENOUGH_MEMORY, 2});
        w.faults.push_back(ambsim::Fault{L"LookupAccountNameW", ERROR_ACCESS_DENIED, 1});
        w.faults.push_back(ambsim::Fault{L"CreateProfile", ERROR_DISK_FULL, 1});
    });
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 0, &buf), 0u);
    NetApiBufferFree(buf);
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 0, &buf), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 0, &buf), 0u);
    NetApiBufferFree(buf);
    EXPECT_EQ(SidOf(L"kanri"), L"");
    EXPECT_NE(SidOf(L"kanri"), L"");
    wchar_t path[260];
    EXPECT_EQ(CreateProfile(SidOf(L"kanri").c_str(), L"kanri", path, 260),
              HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    EXPECT_TRUE(Snapshot().faults.empty());
}

TEST_F(Platform, DamagedStoreGivesAnErrorAndIsLeftAsItIs)
{
    const char junk[] = "{\"generation\": 7, \"world\": {\"computers\": [tru";
    WriteDocument(junk);
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(nullptr, L"kanri", 4, &buf), (DWORD)ERROR_FILE_CORRUPT);
    USER_INFO_1 ui = {
        const_cast<LPWSTR>(L"x"), nullptr, 0, USER_PRIV_USER, nullptr, nullptr, UF_SCRIPT, nullptr};
    EXPECT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&ui), nullptr),
              (DWORD)ERROR_FILE_CORRUPT);
    DWORD size = 64;
    wchar_t name[64];
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_CORRUPT);
    EXPECT_FALSE(IsUserAnAdmin());
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(Document().c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, sizeof junk - 1); // no silent reset
}

TEST_F(Platform, ChangesByAnotherProcessAreSeen)
{
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(nullptr, L"outsider", 0, &buf), (DWORD)NERR_UserNotFound);
    ASSERT_EQ(simtest::Run(L"\"" + CtlPath() + L"\" user add outsider --full-name Out"), 0);
    ASSERT_EQ(NetUserGetInfo(nullptr, L"outsider", 10, &buf), 0u);
    EXPECT_STREQ(reinterpret_cast<USER_INFO_10*>(buf)->usri10_full_name, L"Out");
    NetApiBufferFree(buf);
}

TEST_F(Platform, AChangeOfTheSameSizeInTheSameClockTickIsSeen)
{
    // File times move in coarse ticks: a document of the same size written in
    // the same tick looks unchanged, and the writer's change stamp must tell.
    ASSERT_EQ(simtest::Run(L"\"" + CtlPath() + L"\" user set kanri --full-name AAAA"), 0);
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 10, &buf), 0u); // cached here
    EXPECT_STREQ(reinterpret_cast<USER_INFO_10*>(buf)->usri10_full_name, L"AAAA");
    NetApiBufferFree(buf);
    WIN32_FILE_ATTRIBUTE_DATA before;
    ASSERT_TRUE(GetFileAttributesExW(Document().c_str(), GetFileExInfoStandard, &before));
    ASSERT_EQ(simtest::Run(L"\"" + CtlPath() + L"\" user set kanri --full-name BBBB"), 0);
    HANDLE f = CreateFileW(Document().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(f, nullptr, nullptr, &before.ftLastWriteTime));
    CloseHandle(f);
    WIN32_FILE_ATTRIBUTE_DATA after;
    ASSERT_TRUE(GetFileAttributesExW(Document().c_str(), GetFileExInfoStandard, &after));
    ASSERT_EQ(after.nFileSizeLow, before.nFileSizeLow);
    ASSERT_EQ(NetUserGetInfo(nullptr, L"kanri", 10, &buf), 0u);
    EXPECT_STREQ(reinterpret_cast<USER_INFO_10*>(buf)->usri10_full_name, L"BBBB");
    NetApiBufferFree(buf);
}

extern "C" LONG WINAPI AmbSimParseCount(); // the DLL's own count, not this program's

DWORD AddUserOn(const wchar_t* server, const wchar_t* name)
{
    USER_INFO_1 ui = {};
    ui.usri1_name = const_cast<LPWSTR>(name);
    ui.usri1_password = const_cast<LPWSTR>(L"Pw-12345x");
    ui.usri1_priv = USER_PRIV_USER;
    ui.usri1_flags = UF_SCRIPT;
    return NetUserAdd(server, 1, reinterpret_cast<LPBYTE>(&ui), nullptr);
}

TEST_F(Platform, RefusedChangesLeaveTheStoreAsItWasAndAreNotReadAgain)
{
    AddUser(L"pupil");
    int64_t stored = Snapshot().generation;
    LONG parses = AmbSimParseCount();
    std::wstring sid = SidOf(L"pupil");
    PSID binary = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(sid.c_str(), &binary));
    LOCALGROUP_MEMBERS_INFO_0 member = {binary};
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"Users", 0, reinterpret_cast<LPBYTE>(&member), 1),
              (DWORD)ERROR_MEMBER_IN_ALIAS);
    LocalFree(binary);
    EXPECT_EQ(AddUserOn(nullptr, L"pupil"), (DWORD)NERR_UserExists);
    EXPECT_EQ(Snapshot().generation, stored) << "a refusal was stored";
    EXPECT_EQ(AmbSimParseCount(), parses) << "a refusal made the next call read the store again";

    // A change refused after it began is dropped, not kept in the cache.
    EXPECT_EQ(ambsim::WriteWorld([](ambsim::World& w) {
                  ambsim::AddUserRecord(w.Local(), L"half", w.Now());
                  return DWORD(ERROR_INVALID_PARAMETER);
              }),
              (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ambsim::ReadWorld([](const ambsim::World& w) {
                  return DWORD(w.Local().FindUser(L"half") != nullptr);
              }),
              0u);
    EXPECT_EQ(Snapshot().generation, stored);
}

TEST_F(Platform, AChangeOfOneComputerWritesItsDocumentAloneAndOthersReadJustThatOne)
{
    Change([&](ambsim::World& w) {
        AddManagedRemote(w, L"PC2");
        AddManagedRemote(w, L"PC3");
    });
    std::set<std::wstring> before = ComputerDocuments();
    ASSERT_EQ(before.size(), 3u);
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_DOMAIN_PASSWORD;
    credential.TargetName = const_cast<LPWSTR>(L"PC3");
    credential.UserName = const_cast<LPWSTR>(L"PC3\\Administrator");
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    ASSERT_TRUE(CredWriteW(&credential, 0));
    EXPECT_EQ(ComputerDocuments(), before) << "a credential is the world's, no computer's";
    ASSERT_EQ(AddUserOn(L"\\\\PC2", L"pupil"), 0u);
    std::set<std::wstring> after = ComputerDocuments();
    std::vector<std::wstring> kept;
    std::set_intersection(before.begin(), before.end(), after.begin(), after.end(),
                          std::back_inserter(kept));
    EXPECT_EQ(after.size(), 3u) << "the replaced document is removed";
    EXPECT_EQ(kept.size(), 2u) << "only the changed computer's document is new";

    // What another process changes on one computer is read back alone: the
    // world's document and that computer's.
    ASSERT_EQ(simtest::Run(L"\"" + HelperPath() + L"\" add-users extra 1"), 0);
    LONG parses = AmbSimParseCount();
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"extra0", 0, &buf), 0u);
    NetApiBufferFree(buf);
    EXPECT_EQ(AmbSimParseCount(), parses + 2);
}

TEST_F(Platform, ADocumentOfAnEarlierVersionWithItsComputersInsideIsRead)
{
    const char text[] =
        "{\"generation\":5,\"world\":{\"computers\":[{\"name\":\"OLDPC\","
        "\"domainSid\":\"S-1-5-21-1-2-3\",\"users\":[{\"name\":\"kanri\",\"rid\":1000}],"
        "\"groups\":[]}],\"session\":{\"user\":\"kanri\"}}}";
    WriteDocument(text);
    ambsim::ForgetCachedWorld();
    AddUser(L"newer"); // written in today's form
    ambsim::ForgetCachedWorld();
    ambsim::World w = Snapshot();
    EXPECT_EQ(w.Local().name, L"OLDPC");
    EXPECT_NE(w.Local().FindUser(L"kanri"), nullptr);
    EXPECT_NE(w.Local().FindUser(L"newer"), nullptr);
    EXPECT_EQ(w.generation, 6);
}

TEST_F(Platform, AWorldMadeAgainInTheSameFolderIsNotMistakenForTheOldOne)
{
    AddUser(L"old");
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"old", 0, &buf), 0u); // cached here
    NetApiBufferFree(buf);
    ASSERT_TRUE(DeleteFileW(Document().c_str()));
    ASSERT_EQ(simtest::Run(L"\"" + CtlPath() + L"\" reset"), 0);
    EXPECT_EQ(NetUserGetInfo(nullptr, L"old", 0, &buf), (DWORD)NERR_UserNotFound);
}

TEST_F(Platform, TwoProcessesAddingAtOnceLoseNothing)
{
    std::wstring helper = L"\"" + HelperPath() + L"\"";
    PROCESS_INFORMATION pi[2] = {};
    const wchar_t* prefixes[] = {L"a", L"b"};
    for (int i = 0; i < 2; ++i) {
        std::wstring line = helper + L" add-users " + prefixes[i] + L" 200";
        std::vector<wchar_t> buf(line.begin(), line.end());
        buf.push_back(0);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessRetrying(nullptr, buf.data(), FALSE, 0, &si, &pi[i]));
    }
    for (auto& p : pi) {
        ASSERT_EQ(WaitForSingleObject(p.hProcess, 240000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(p.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(p.hProcess);
        CloseHandle(p.hThread);
    }
    ambsim::ForgetCachedWorld();
    ambsim::World w = Snapshot();
    EXPECT_EQ(w.Local().users.size(), 5u + 400u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_NE(w.Local().FindUser(L"a" + std::to_wstring(i)), nullptr);
        EXPECT_NE(w.Local().FindUser(L"b" + std::to_wstring(i)), nullptr);
    }
    EXPECT_EQ(w.Local().nextRid, 1401u);
}

TEST_F(Platform, KilledWriterLeavesAReadableStore)
{
    Change([](ambsim::World& w) {
        for (int i = 0; i < 3000; ++i)
            ambsim::AddUserRecord(w.Local(), L"bulk" + std::to_wstring(i), w.Now());
    });
    for (int round = 0; round < 4; ++round) {
        std::wstring line = L"\"" + HelperPath() + L"\" churn";
        std::vector<wchar_t> buf(line.begin(), line.end());
        buf.push_back(0);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessRetrying(nullptr, buf.data(), FALSE, 0, &si, &pi));
        Sleep(700 + 230 * round);
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        ambsim::ForgetCachedWorld();
        LPBYTE info = nullptr;
        ASSERT_EQ(NetUserGetInfo(nullptr, L"bulk2999", 4, &info), 0u) << "round " << round;
        NetApiBufferFree(info);
        // And the store still takes changes.
        AddUser((L"after" + std::to_wstring(round)).c_str());
    }
    // A reset sweeps away what killed writers left aside: a world's document
    // not renamed yet, a computer's document it did not name yet.
    ASSERT_EQ(ambsim::ReplaceWorld(ambsim::MakeDefaultWorld(L"", L"")), 0u);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder_ + L"\\world.json.*.tmp").c_str(), &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    EXPECT_EQ(ComputerDocuments().size(), 1u);
}

TEST_F(Platform, LogonChecksTheAccountAndStartsTheProgramAsThatUser)
{
    AddUser(L"taro", L"secret");
    std::wstring out = folder_ + L"\\whoami.txt";
    std::wstring helper = HelperPath();
    std::wstring line = L"\"" + helper + L"\" whoami \"" + out + L"\"";
    auto start = [&](const wchar_t* user, const wchar_t* password, const std::wstring& app,
                     DWORD* error) {
        std::vector<wchar_t> cmd(line.begin(), line.end());
        cmd.push_back(0);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        BOOL ok = CreateProcessWithLogonW(user, L".", password, LOGON_WITH_PROFILE, app.c_str(),
                                          cmd.data(), 0, nullptr, nullptr, &si, &pi);
        *error = ok ? 0 : GetLastError();
        if (ok) {
            WaitForSingleObject(pi.hProcess, 30000);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        return ok;
    };
    DWORD error = 0;
    EXPECT_FALSE(start(L"taro", L"wrong", helper, &error));
    EXPECT_EQ(error, (DWORD)ERROR_LOGON_FAILURE);
    EXPECT_EQ(Snapshot().Local().FindUser(L"taro")->badPwCount, 1u);
    EXPECT_FALSE(start(L"nobody", L"x", helper, &error));
    EXPECT_EQ(error, (DWORD)ERROR_LOGON_FAILURE);
    EXPECT_FALSE(start(L"Administrator", L"", helper, &error));
    EXPECT_EQ(error, (DWORD)ERROR_ACCOUNT_DISABLED);
    EXPECT_FALSE(start(L"kanri", L"", helper, &error));
    EXPECT_EQ(error, (DWORD)ERROR_ACCOUNT_RESTRICTION); // blank password
    EXPECT_FALSE(start(L"taro", L"secret", folder_ + L"\\missing.exe", &error));
    EXPECT_EQ(error, (DWORD)ERROR_FILE_NOT_FOUND);

    Change([](ambsim::World& w) {
        ambsim::User* a = w.Local().FindUser(L"Administrator");
        a->flags &= ~UF_ACCOUNTDISABLE;
        a->password = L"admin!";
    });
    ASSERT_TRUE(start(L"Administrator", L"admin!", helper, &error)) << error;
    EXPECT_EQ(ReadWide(out), L"Administrator 1");
    ASSERT_TRUE(start(L"taro", L"secret", helper, &error)) << error;
    EXPECT_EQ(ReadWide(out), L"taro 0");
    ambsim::World w = Snapshot();
    EXPECT_GT(w.Local().FindUser(L"taro")->lastLogon, 0);
    EXPECT_EQ(w.Local().FindUser(L"taro")->badPwCount, 0u);
    EXPECT_EQ(w.Local().profiles.size(), 2u); // the first logon made the profiles
    ASSERT_EQ(w.launches.size(), 2u);
    EXPECT_EQ(w.launches[0].user, L"Administrator");
    EXPECT_TRUE(w.launches[0].elevated);

    Change([](ambsim::World& w) { w.Local().FindUser(L"taro")->locked = true; });
    EXPECT_FALSE(start(L"taro", L"secret", helper, &error));
    EXPECT_EQ(error, (DWORD)ERROR_ACCOUNT_LOCKED_OUT);
}

// A logon through CreateProcessWithLogonW: 0 or its error.
DWORD LogOnAs(const wchar_t* user, const wchar_t* password)
{
    std::wstring helper = HelperPath();
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring line = L"\"" + helper + L"\" none";
    std::vector<wchar_t> cmd(line.begin(), line.end());
    cmd.push_back(0);
    if (!CreateProcessWithLogonW(user, nullptr, password, 0, helper.c_str(), cmd.data(), 0, nullptr,
                                 nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return 0;
}

TEST_F(Platform, LogonRefusesExpiredAccountsClosedHoursAndLocksOut)
{
    AddUser(L"taro", L"secret");
    auto logon = [](const wchar_t* password) { return LogOnAs(L"taro", password); };
    // Thursday 2023-11-16 12:00 UTC.
    const int64_t now = 1700136000;
    Change([&](ambsim::World& w) {
        w.fixedClock = now;
        w.Local().FindUser(L"taro")->acctExpires = static_cast<DWORD>(now - 1);
    });
    EXPECT_EQ(logon(L"secret"), (DWORD)ERROR_ACCOUNT_EXPIRED);
    Change([&](ambsim::World& w) {
        ambsim::User* u = w.Local().FindUser(L"taro");
        u->acctExpires = TIMEQ_FOREVER;
        u->logonHours[(4 * 24 + 12) / 8] &= static_cast<BYTE>(~(1 << ((4 * 24 + 12) % 8)));
    });
    EXPECT_EQ(logon(L"secret"), (DWORD)ERROR_INVALID_LOGON_HOURS);
    Change([&](ambsim::World& w) {
        ambsim::User* u = w.Local().FindUser(L"taro");
        u->logonHours.fill(0xFF);
        u->passwordExpired = true;
    });
    EXPECT_EQ(logon(L"secret"), (DWORD)ERROR_PASSWORD_MUST_CHANGE);
    Change([&](ambsim::World& w) {
        ambsim::User* u = w.Local().FindUser(L"taro");
        u->passwordExpired = false;
        u->passwordLastSet = now - 50 * 86400;
        w.Local().policy.maxAge = 42 * 86400;
    });
    EXPECT_EQ(logon(L"secret"), (DWORD)ERROR_PASSWORD_EXPIRED);
    Change([&](ambsim::World& w) {
        w.Local().policy.maxAge = TIMEQ_FOREVER;
        w.Local().policy.lockoutThreshold = 3;
    });
    EXPECT_EQ(logon(L"secret"), 0u);
    EXPECT_EQ(Snapshot().Local().FindUser(L"taro")->lastLogon, now);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(logon(L"bad"), (DWORD)ERROR_LOGON_FAILURE);
    EXPECT_EQ(logon(L"secret"), (DWORD)ERROR_ACCOUNT_LOCKED_OUT);
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"taro", 4, &buf), 0u);
    EXPECT_TRUE(reinterpret_cast<USER_INFO_4*>(buf)->usri4_flags & UF_LOCKOUT);
    EXPECT_EQ(reinterpret_cast<USER_INFO_4*>(buf)->usri4_bad_pw_count, 3u);
    NetApiBufferFree(buf);
}

TEST_F(Platform, AnExpiryOfZeroIs1970WhetherWrittenByAnAddOrASet)
{
    USER_INFO_2 u2 = {}; // a zeroed record: expiry 0
    u2.usri2_name = const_cast<LPWSTR>(L"taro");
    u2.usri2_password = const_cast<LPWSTR>(L"secret");
    u2.usri2_priv = USER_PRIV_USER;
    ASSERT_EQ(NetUserAdd(nullptr, 2, reinterpret_cast<LPBYTE>(&u2), nullptr), 0u);
    EXPECT_EQ(LogOnAs(L"taro", L"secret"), (DWORD)ERROR_ACCOUNT_EXPIRED);
    for (DWORD expires : {DWORD(TIMEQ_FOREVER), DWORD(0)}) {
        USER_INFO_1017 e = {expires};
        ASSERT_EQ(NetUserSetInfo(nullptr, L"taro", 1017, reinterpret_cast<LPBYTE>(&e), nullptr),
                  0u);
        EXPECT_EQ(LogOnAs(L"taro", L"secret"), expires ? 0u : (DWORD)ERROR_ACCOUNT_EXPIRED);
    }
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"taro", 2, &buf), 0u);
    EXPECT_EQ(reinterpret_cast<USER_INFO_2*>(buf)->usri2_acct_expires, 0u); // kept as written
    NetApiBufferFree(buf);
}

TEST_F(Platform, LockOutEndsAfterItsDurationAndBadPasswordsCountWithinTheWindow)
{
    AddUser(L"taro", L"secret");
    auto at = [&](int64_t minutes) {
        Change([&](ambsim::World& w) {
            w.fixedClock = 1700136000 + minutes * 60;
            w.Local().policy.lockoutThreshold = 3;
            w.Local().policy.lockoutDuration = 30 * 60;
            w.Local().policy.lockoutWindow = 10 * 60;
        });
    };
    at(0);
    EXPECT_EQ(LogOnAs(L"taro", L"bad"), (DWORD)ERROR_LOGON_FAILURE);
    EXPECT_EQ(LogOnAs(L"taro", L"bad"), (DWORD)ERROR_LOGON_FAILURE);
    USER_INFO_1008 flags = {UF_SCRIPT}; // a flags write keeps the count
    ASSERT_EQ(NetUserSetInfo(nullptr, L"taro", 1008, reinterpret_cast<LPBYTE>(&flags), nullptr),
              0u);
    EXPECT_EQ(Snapshot().Local().FindUser(L"taro")->badPwCount, 2u);
    at(11); // past the window: three more to lock the account
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(LogOnAs(L"taro", L"bad"), (DWORD)ERROR_LOGON_FAILURE);
    at(40);
    EXPECT_EQ(LogOnAs(L"taro", L"secret"), (DWORD)ERROR_ACCOUNT_LOCKED_OUT);
    at(42); // the 30 minutes are over
    LPBYTE buf = nullptr;
    ASSERT_EQ(NetUserGetInfo(nullptr, L"taro", 1, &buf), 0u);
    EXPECT_FALSE(reinterpret_cast<USER_INFO_1*>(buf)->usri1_flags & UF_LOCKOUT);
    NetApiBufferFree(buf);
    EXPECT_EQ(LogOnAs(L"taro", L"secret"), 0u);
}

TEST_F(Platform, FaultsReachTheBooleanAndShellFunctions)
{
    Change([](ambsim::World& w) {
        w.faults.push_back(ambsim::Fault{L"GetUserNameW", ERROR_NOT_ENOUGH_MEMORY, 1});
        w.faults.push_back(ambsim::Fault{L"IsUserAnAdmin", ERROR_ACCESS_DENIED, 1});
        w.faults.push_back(ambsim::Fault{L"ShellExecuteW", ERROR_FILE_NOT_FOUND, 1});
        w.faults.push_back(ambsim::Fault{L"NetLocalGroupAddMembers", ERROR_INVALID_MEMBER, 1});
    });
    wchar_t name[64];
    DWORD size = 64;
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(IsUserAnAdmin());
    EXPECT_TRUE(IsUserAnAdmin());
    HINSTANCE r = ShellExecuteW(nullptr, L"Open", L"https://example.invalid/", nullptr, nullptr,
                                SW_SHOWDEFAULT);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(r), SE_ERR_FNF);
    LOCALGROUP_MEMBERS_INFO_3 m = {const_cast<LPWSTR>(L"AMBPC01\\Guest")};
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"Users", 3, reinterpret_cast<LPBYTE>(&m), 1),
              (DWORD)ERROR_INVALID_MEMBER);
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, L"Users", 3, reinterpret_cast<LPBYTE>(&m), 1), 0u);
    EXPECT_TRUE(Snapshot().faults.empty());
    EXPECT_TRUE(Snapshot().opened.empty()); // the failed call did nothing
}

TEST_F(Platform, RunAsElevatesWhenConsentIsGivenAndOpenIsRecorded)
{
    std::wstring out = folder_ + L"\\whoami.txt";
    std::wstring params = L"whoami \"" + out + L"\"";
    SetSession(L"kanri", true, false);
    Change([](ambsim::World& w) { w.consentAllow = false; });
    HINSTANCE r = ShellExecuteW(nullptr, L"RunAs", HelperPath().c_str(), params.c_str(), nullptr,
                                SW_SHOWNORMAL);
    EXPECT_LE(reinterpret_cast<INT_PTR>(r), 32);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANCELLED);
    Change([](ambsim::World& w) { w.consentAllow = true; });
    r = ShellExecuteW(nullptr, L"runas", HelperPath().c_str(), params.c_str(), nullptr,
                      SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<INT_PTR>(r), 32);
    for (int i = 0; i < 100 && ReadWide(out).empty(); ++i)
        Sleep(100);
    Sleep(200);
    EXPECT_EQ(ReadWide(out), L"kanri 1");
    // An elevated administrator is not asked; one who is no administrator cannot elevate.
    DeleteFileW(out.c_str());
    SetSession(L"kanri", true, true);
    Change([](ambsim::World& w) { w.consentAllow = false; });
    r = ShellExecuteW(nullptr, L"RunAs", HelperPath().c_str(), params.c_str(), nullptr,
                      SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<INT_PTR>(r), 32);
    for (int i = 0; i < 100 && ReadWide(out).empty(); ++i)
        Sleep(100);
    Sleep(200);
    EXPECT_EQ(ReadWide(out), L"kanri 1");
    SetSession(L"hanako", false, false);
    Change([](ambsim::World& w) { w.consentAllow = true; });
    r = ShellExecuteW(nullptr, L"RunAs", HelperPath().c_str(), params.c_str(), nullptr,
                      SW_SHOWNORMAL);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(r), SE_ERR_ACCESSDENIED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANCELLED);
    EXPECT_EQ(ShellExecuteW(nullptr, L"RunAs", (folder_ + L"\\missing.exe").c_str(), nullptr,
                            nullptr, SW_SHOWNORMAL),
              reinterpret_cast<HINSTANCE>(SE_ERR_ACCESSDENIED));
    SetSession(L"kanri", true, false);
    EXPECT_EQ(ShellExecuteW(nullptr, L"RunAs", (folder_ + L"\\missing.exe").c_str(), nullptr,
                            nullptr, SW_SHOWNORMAL),
              reinterpret_cast<HINSTANCE>(SE_ERR_FNF));

    r = ShellExecuteW(nullptr, L"Open", L"https://example.invalid/", nullptr, nullptr,
                      SW_SHOWDEFAULT);
    EXPECT_GT(reinterpret_cast<INT_PTR>(r), 32);
    Change([](ambsim::World& w) { w.openSucceeds = false; });
    r = ShellExecuteW(nullptr, L"Open", L"mailto:someone@example.invalid", nullptr, nullptr,
                      SW_SHOWDEFAULT);
    EXPECT_LE(reinterpret_cast<INT_PTR>(r), 32);
    ambsim::World w = Snapshot();
    ASSERT_EQ(w.opened.size(), 2u);
    EXPECT_EQ(w.opened[1], L"mailto:someone@example.invalid");
}

} // namespace

namespace {
double MillisecondsOf(const std::function<void()>& call)
{
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    call();
    QueryPerformanceCounter(&b);
    return (b.QuadPart - a.QuadPart) * 1e3 / f.QuadPart;
}
} // namespace

TEST_F(Platform, ARemoteComputerWithLatencyAnswersEveryCallAfterItsRoundTrip)
{
    std::wstring ctl = L"\"" + CtlPath() + L"\"";
    ASSERT_EQ(simtest::Run(ctl + L" computer add SRV09 --latency-ms 40"), 0);
    // The session's account there, so that lookups are answered.
    ASSERT_EQ(simtest::Run(ctl + L" user add kanri --password pw --computer SRV09"), 0);
    ASSERT_EQ(simtest::Run(ctl + L" session --password pw"), 0);
    LPBYTE buf = nullptr;
    auto getInfo = [&](const wchar_t* server, const wchar_t* name) {
        return MillisecondsOf([&] {
            NetUserGetInfo(server, name, 4, &buf);
            NetApiBufferFree(buf);
            buf = nullptr;
        });
    };
    EXPECT_GE(getInfo(L"\\\\SRV09", L"Administrator"), 40.0);
    EXPECT_GE(getInfo(L"SRV09", L"nobody"), 40.0) << "a refusal is a round trip too";
    EXPECT_GE(MillisecondsOf([&] { EXPECT_NE(SidOf(L"Guest", L"SRV09"), L""); }), 40.0);
    EXPECT_LT(getInfo(nullptr, L"kanri"), 40.0);
    ASSERT_EQ(simtest::Run(ctl + L" computer set SRV09 --latency-ms 0"), 0);
    EXPECT_LT(getInfo(L"SRV09", L"Administrator"), 40.0);
    EXPECT_NE(simtest::Run(ctl + L" computer set NOSUCH --latency-ms 1"), 0);
    EXPECT_NE(simtest::Run(ctl + L" computer set SRV09 --latency-ms 10001"), 0);
}
