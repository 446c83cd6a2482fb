// What the simulated world holds, read from AmbSimCtl's dump, and the one
// thing its control program cannot set up: a user profile.
#pragma once

#include <string>

#include "guidriver.h"

namespace cmdtest {

class WorldState
{
public:
    // Reads the world now; Ok() is false when the dump could not be read.
    explicit WorldState(guidriver::SimWorld& world);
    bool Ok() const
    {
        return ok_;
    }
    // Accounts and profiles of a computer (empty: the local one).
    bool HasUser(const std::wstring& name, const std::wstring& computer = L"") const;
    bool HasGroup(const std::wstring& name, const std::wstring& computer = L"") const;
    bool HasProfileOf(const std::wstring& user) const;
    // The SID of a local user in string form; empty when there is no such user.
    std::wstring UserSid(const std::wstring& name) const;
    // A value of a computer's password and lock-out policy as the dump keeps
    // it ("minLength", "lockoutDuration" in seconds, ...); -1 when missing.
    long long Policy(const char* key, const std::wstring& computer = L"") const;
    // Targets given to ShellExecuteW "Open", in order.
    std::wstring Opened() const;

private:
    struct Data;
    std::string text_;
    bool ok_ = false;
};

// Creates the local profile of a user through the simulated platform itself.
bool CreateProfileOf(guidriver::SimWorld& world, const std::wstring& user);

} // namespace cmdtest
