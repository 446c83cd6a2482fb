// Answers of the account functions to malformed server names and over-long
// passwords, as Windows gives them (checked against Wine's conformance tests,
// which were written on Windows).
#include "simtest.h"

using namespace simtest;

namespace {

class Fidelity : public SimTest
{
};

DWORD AddWithPassword(const wchar_t* name, const std::wstring& password)
{
    USER_INFO_1 ui = {};
    ui.usri1_name = const_cast<LPWSTR>(name);
    ui.usri1_password = const_cast<LPWSTR>(password.c_str());
    ui.usri1_priv = USER_PRIV_USER;
    ui.usri1_flags = UF_SCRIPT;
    return NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&ui), nullptr);
}

TEST_F(Fidelity, ServerNameFormsGiveWindowsAnswers)
{
    struct
    {
        const wchar_t* server;
        DWORD status;
    } cases[] = {{L"\\", ERROR_INVALID_NAME},
                 {L"\\\\", ERROR_INVALID_NAME},
                 {L"", 0},
                 {L"\\\\Ba  path", ERROR_BAD_NETPATH}};
    for (const auto& c : cases) {
        LPBYTE buf = nullptr;
        EXPECT_EQ(NetUserGetInfo(c.server, L"kanri", 0, &buf), c.status) << c.server;
        NetApiBufferFree(buf);
    }
    LOCALGROUP_INFO_0 group = {const_cast<LPWSTR>(L"newgroup")};
    EXPECT_EQ(NetLocalGroupAdd(L"\\\\", 0, reinterpret_cast<LPBYTE>(&group), nullptr),
              (DWORD)ERROR_INVALID_NAME);
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetLocalGroupGetInfo(nullptr, L"newgroup", 1, &buf), (DWORD)NERR_GroupNotFound);
}

TEST_F(Fidelity, OverLongPasswordOnAddIsTooShortAndAddsNothing)
{
    EXPECT_EQ(AddWithPassword(L"longpw", std::wstring(PWLEN + 1, L'a')),
              (DWORD)NERR_PasswordTooShort);
    LPBYTE buf = nullptr;
    EXPECT_EQ(NetUserGetInfo(nullptr, L"longpw", 0, &buf), (DWORD)NERR_UserNotFound);
    EXPECT_EQ(AddWithPassword(L"longpw", std::wstring(PWLEN, L'a')), 0u);
    // A name and a password both too long: the name is judged first.
    EXPECT_EQ(AddWithPassword(L"This is a bad username", std::wstring(PWLEN + 1, L'a')),
              (DWORD)NERR_BadUsername);
}

} // namespace
