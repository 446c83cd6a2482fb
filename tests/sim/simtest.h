// Shared set-up of the simulated platform's conformance tests: every test gets
// its own fresh world folder and a reset world (local computer AMBPC01, session
// user kanri, an elevated administrator).
#pragma once

#include <windows.h>
#include <lm.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <userenv.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simcore.h"

namespace simtest {

std::wstring NewWorldFolder();
void RemoveTree(const std::wstring& path);
std::wstring HelperPath(); // simhelper.exe beside the test program
std::wstring CtlPath();    // AmbSimCtl.exe of the build
// Runs a program, waits at most `timeoutMs`; returns its exit code (or -1).
int Run(const std::wstring& commandLine, DWORD timeoutMs = 60000);

class SimTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // Changes the world directly through the store (as AmbSimCtl does).
    void Change(const std::function<void(ambsim::World&)>& change);
    ambsim::World Snapshot();
    void SetSession(const wchar_t* user, bool admin, bool elevated);
    void AddUser(const wchar_t* name, const wchar_t* password = L"");
    std::wstring SidOf(const wchar_t* name, const wchar_t* system = nullptr);
    // A remote computer that the session reaches as Windows lets it: the session
    // has the password "pw", and the remote a same-named administrator with it and
    // LocalAccountTokenFilterPolicy 1 (pass-through with a full token).
    ambsim::Computer& AddManagedRemote(ambsim::World& w, const wchar_t* name);
    std::wstring folder_;
};

std::wstring SidText(PSID sid);

} // namespace simtest
