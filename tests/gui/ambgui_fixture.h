// Shared set-up of the Ambgui window tests: a fresh simulated computer, a clean
// settings key, the sim build of Ambgui, and a screenshot when a test fails.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "guidriver.h"
#include "textformat.h"

namespace ambtest {

using namespace guidriver;

// Command ids of the main window.
enum : UINT {
    kExit = 40000,
    kAddUser = 40001,
    kUserSettings = 40002,
    kDeleteUser = 40003,
    kAddGroup = 40004,
    kGroupSettings = 40005,
    kDeleteGroup = 40006,
    kRemote = 40007,
    kOperatingMode = 40008,
    kShowBuiltin = 40009,
    kHelp = 40010,
    kAbout = 40011,
    kViewAll = 40012,
    kViewUsers = 40013,
    kViewGroups = 40014,
    kRefresh = 40015,
    kRename = 40016,
};

const LONG kDefault = static_cast<LONG>(0x80000000); // CW_USEDEFAULT

inline bool SimControlBuilt()
{
    return GetFileAttributesW((SimBinDir() + L"\\AmbSimCtl.exe").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

inline std::string Narrow(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

// The file-name field of the common file dialogs (a combo box or an edit,
// depending on the dialog's style).
inline int FileNameField(HWND dialog)
{
    for (int id : {1148, 1152}) {
        HWND field = GetDlgItem(dialog, id);
        if (field != nullptr && IsWindowVisible(field))
            return id;
    }
    return 0;
}

// A whole file's bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

inline std::wstring Wide(const std::string& text) // from UTF-8
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
    return out;
}

class AmbguiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SimControlBuilt())
            GTEST_SKIP()
                << "bin/sim/AmbSimCtl.exe is not built: the simulated world cannot be set up";
        if (int ended = EndLeftoverPrograms(L"Ambgui"))
            std::printf("ended %d Ambgui left running by an earlier test\n", ended);
        ASSERT_FALSE(world.Dir().empty()) << "no temporary folder for the world";
        ASSERT_TRUE(world.Run(L"reset")) << "AmbSimCtl reset: " << Narrow(world.LastOutput());
        settings::DeleteKey();
    }

    void TearDown() override
    {
        if (HasFailure()) {
            const ::testing::TestInfo* info =
                ::testing::UnitTest::GetInstance()->current_test_info();
            std::wstring name = Wide(std::string(info->test_suite_name()) + "." + info->name());
            SaveScreenshotPng(ShotPath(L"ambgui_" + name + L".png"));
        }
        app.Kill();
        settings::DeleteKey();
    }

    // A previous run's settings: welcome seen, window at 30,30 sized 900x650.
    static void PrepareSettings(DWORD builtin = 0, DWORD advanced = 0, DWORD view = 0)
    {
        settings::WriteAll(30, 30, 900, 650, 1, builtin, advanced, view);
    }

    // Starts Ambgui and waits for its main window.
    bool StartReady()
    {
        if (!app.Start())
            return false;
        return app.WaitMainWindow() != nullptr;
    }

    bool Sim(const std::wstring& args)
    {
        bool ok = world.Run(args);
        EXPECT_TRUE(ok) << "AmbSimCtl " << Narrow(args) << ": " << Narrow(world.LastOutput());
        return ok;
    }

    // A remote computer reached as Windows allows (SimWorld::AddReachableComputer).
    bool AddComputer(const std::wstring& name, const std::wstring& options = L"")
    {
        bool ok = world.AddReachableComputer(name, options);
        EXPECT_TRUE(ok) << "reachable computer " << Narrow(name) << ": "
                        << Narrow(world.LastOutput());
        return ok;
    }

    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (const ListRow& row : app.Rows(app.AccountList()))
            names.push_back(row.cells.empty() ? std::wstring() : row.cells[0]);
        return names;
    }

    // The first visible dialog or message box of the program, if one opens.
    HWND WaitAnyDialog(DWORD timeoutMs = 3000) const
    {
        HWND found = nullptr;
        WaitFor(
            [&] {
                for (const TopWindow& w : app.Windows(true))
                    if (w.className == L"#32770") {
                        found = w.hwnd;
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return found;
    }

    // Closes a dialog or message box the way a person declines it.
    static void Decline(HWND dialog)
    {
        for (int id : {IDNO, IDCANCEL, IDOK}) {
            if (GetDlgItem(dialog, id)) {
                App::PressButton(dialog, id);
                if (App::WaitGone(dialog, 2000))
                    return;
            }
        }
    }

    // The message box that must open now.
    HWND ExpectBox(const std::wstring& caption)
    {
        HWND box = app.WaitDialog(caption, 5000);
        EXPECT_NE(box, nullptr) << "no box " << Narrow(caption);
        return box;
    }

    static void Answer(HWND box, int button)
    {
        ASSERT_NE(box, nullptr);
        App::PressButton(box, button);
        ASSERT_TRUE(App::WaitGone(box, 5000));
    }

    // Nothing else opens, and the window is free again.
    void ExpectNoMoreBoxes()
    {
        EXPECT_EQ(WaitAnyDialog(600), nullptr) << "an unexpected box opened";
        app.Settle();
    }

    // Starts Ambgui in advanced mode and turns it to `computer` through the
    // remote-management dialog; callers check HasFatalFailure().
    // As Windows 11 lets it be managed: through a connection as its enabled
    // built-in Administrator.
    void StartOnRemote(const std::wstring& computer)
    {
        ASSERT_TRUE(Sim(L"user set Administrator --enable --password adm --computer " + computer));
        PrepareSettings(0, 1);
        ASSERT_TRUE(StartReady());
        app.Command(kRemote);
        HWND remote = app.WaitDialog(L"リモート管理", 3000);
        ASSERT_NE(remote, nullptr) << "command 40007 opens the remote-management dialog";
        App::SetEditText(remote, 1000, computer);
        App::SetEditText(remote, 1002, L"Administrator");
        App::SetEditText(remote, 1003, L"adm");
        App::PressButton(remote, IDOK);
        ASSERT_TRUE(App::WaitGone(remote));
        app.Settle();
        ASSERT_EQ(Narrow(app.Title()),
                  Narrow(L"Ambrelle - リモート コンピュータ (" + computer + L")"));
    }

    // Selects the user `name` and chooses "ユーザーの設定"; the settings
    // dialog that opens, or null.
    HWND OpenUserSettings(const std::wstring& name)
    {
        if (!app.ClickRow(app.AccountList(), app.FindRow(app.AccountList(), name)))
            return nullptr;
        app.Command(kUserSettings);
        return app.WaitDialog(L"ユーザー アカウントの設定");
    }

    bool Listed(const std::wstring& name) const
    {
        return app.FindRow(app.AccountList(), name) >= 0;
    }

    SimWorld world;
    App app;
};

} // namespace ambtest

// Compares texts as UTF-8, so that a failure prints them readably.
#define EXPECT_TEXT(actual, expected)                                                              \
    EXPECT_EQ(::ambtest::Narrow(actual), ::ambtest::Narrow(expected))
#define ASSERT_TEXT_EQ(actual, expected)                                                           \
    ASSERT_EQ(::ambtest::Narrow(actual), ::ambtest::Narrow(expected))
