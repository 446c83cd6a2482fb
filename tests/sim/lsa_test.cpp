// The account domain through the LSA policy functions: what a computer, local
// or remote, reports as the name and SID of its own accounts.
#include "simtest.h"

#define WIN32_NO_STATUS
#include <ntsecapi.h>
#undef WIN32_NO_STATUS

using namespace simtest;

namespace {

class Lsa : public SimTest
{
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        Change([&](ambsim::World& w) {
            AddManagedRemote(w, L"SRV01").ips.push_back(L"192.0.2.7");
            // A computer where the session has no account.
            w.computers.push_back(ambsim::MakeComputer(L"STRICT"));
        });
    }
};

struct Answer
{
    DWORD openError = 0, queryError = 0;
    std::wstring name, sid;
};

Answer AccountDomain(const wchar_t* system, ACCESS_MASK access = POLICY_VIEW_LOCAL_INFORMATION)
{
    Answer a;
    std::wstring text = system != nullptr ? system : L"";
    LSA_UNICODE_STRING name = {static_cast<USHORT>(text.size() * 2),
                               static_cast<USHORT>(text.size() * 2), &text[0]};
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    a.openError = LsaNtStatusToWinError(
        LsaOpenPolicy(system != nullptr ? &name : nullptr, &attributes, access, &policy));
    if (a.openError != 0)
        return a;
    POLICY_ACCOUNT_DOMAIN_INFO* info = nullptr;
    a.queryError = LsaNtStatusToWinError(LsaQueryInformationPolicy(
        policy, PolicyAccountDomainInformation, reinterpret_cast<PVOID*>(&info)));
    if (a.queryError == 0) {
        a.name.assign(info->DomainName.Buffer, info->DomainName.Length / 2);
        a.sid = SidText(info->DomainSid);
        LsaFreeMemory(info);
    }
    EXPECT_EQ(LsaClose(policy), 0);
    return a;
}

TEST_F(Lsa, EachComputerNamesItsOwnAccountDomain)
{
    ambsim::World w = Snapshot();
    Answer local = AccountDomain(nullptr);
    EXPECT_EQ(local.openError + local.queryError, 0u);
    EXPECT_EQ(local.name, L"AMBPC01");
    EXPECT_EQ(local.sid, w.Local().domainSid);
    // An address reaches the computer, whose answer is its name, not the address.
    for (const wchar_t* remote : {L"\\\\192.0.2.7", L"SRV01", L"\\\\srv01"}) {
        Answer a = AccountDomain(remote);
        EXPECT_EQ(a.name, L"SRV01") << remote;
        EXPECT_EQ(a.sid, w.FindComputer(L"SRV01")->domainSid) << remote;
    }
}

TEST_F(Lsa, RefusalsAsWindowsGivesThem)
{
    EXPECT_EQ(AccountDomain(L"\\\\NOSUCHPC").openError, DWORD(RPC_S_SERVER_UNAVAILABLE));
    // A computer without the caller's account refuses the logon itself.
    EXPECT_EQ(AccountDomain(L"\\\\STRICT").openError, DWORD(ERROR_LOGON_FAILURE));
    // The account domain needs POLICY_VIEW_LOCAL_INFORMATION on the handle.
    EXPECT_EQ(AccountDomain(nullptr, POLICY_LOOKUP_NAMES).queryError, DWORD(ERROR_ACCESS_DENIED));
    // Rights beyond viewing need an elevated administrator.
    SetSession(L"kanri", true, false);
    EXPECT_EQ(AccountDomain(nullptr).openError, 0u);
    EXPECT_EQ(AccountDomain(nullptr, POLICY_ALL_ACCESS).openError, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LsaNtStatusToWinError(LsaClose(nullptr)), DWORD(ERROR_INVALID_HANDLE));
}

} // namespace
