#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A fresh simulated world for one test, in its own temporary folder, named to
// this process through AMBRELLE_SIM_DIR before any platform call is made.
class CoreWorld
{
public:
    CoreWorld();
    ~CoreWorld();
    CoreWorld(const CoreWorld&) = delete;
    CoreWorld& operator=(const CoreWorld&) = delete;

    // Runs AmbSimCtl with the arguments; true on exit code 0.
    bool Sim(const std::wstring& args);

private:
    std::wstring dir_;
};

// Adds the remote computer SRV01 (round trip `latencyMs`) with `users`
// ordinary users (more than a page of the enumeration), disabled, locked-out
// and disabled locked-out ones among them, commented groups with members, and
// a group named like the computer; true when every step succeeded.
bool AddMixedRemoteComputer(CoreWorld& world, int users, int latencyMs);

// Ambgui's process-wide buffers, set up as the program does at start-up, with
// defaults for every setting and the welcome already shown.
void ResetAmbguiGlobals();
void FreeAmbguiGlobals();

// A report list-view on a hidden top-level window, with the account list's
// four columns.
HWND CreateTestList(int columns);
void DestroyTestList(HWND list);

struct ListRow
{
    std::wstring cells[4];
    int image = -1;
    UINT overlay = 0;
};
std::vector<ListRow> ReadRows(HWND list, int columns);
