// A driver for window tests: prepares the simulated world and Ambgui's registry
// settings, starts a window program, works its menus, keys, toolbar, lists and
// dialogs from outside the way a person does, and reads back what is on screen.
//
// Everything runs in the test process under Wine, in the same prefix as the
// program under test (one HKCU, one window station). List-view messages that
// carry pointers go through memory allocated in the target process; menus,
// which Wine keeps private to their process, are read by a probe DLL that the
// driver loads into the target. Every wait has a timeout.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace guidriver {

// ---- Paths and environment ------------------------------------------------

// A Unix path (as the test bed passes them in AMB_*_DIR) as a Windows path on Z:.
std::wstring WindowsPath(const std::string& unixPath);
// The sim flavour's bin directory (AMB_SIM_BIN_DIR), as a Windows path without trailing '\'.
std::wstring SimBinDir();
// The release flavour's bin directory (AMB_BIN_DIR).
std::wstring BinDir();
// The directory of the running test program.
std::wstring TestBinDir();
// Sets or removes (value null) a variable of this process, inherited by programs it starts.
void SetEnv(const wchar_t* name, const wchar_t* value);
// A fresh, empty temporary directory (Windows path); removed with RemoveTree.
std::wstring MakeTempDir(const wchar_t* prefix);
void RemoveTree(const std::wstring& dir);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);

// ---- The simulated world ---------------------------------------------------

// One world folder per test: created fresh, exported as AMBRELLE_SIM_DIR to this
// process (so every program started afterwards uses it) and removed at the end.
class SimWorld
{
public:
    SimWorld();
    ~SimWorld();
    SimWorld(const SimWorld&) = delete;
    SimWorld& operator=(const SimWorld&) = delete;

    // Runs bin/sim/AmbSimCtl.exe with the arguments; true on exit code 0.
    // The output (CP932 bytes decoded to UTF-16) goes to *output when given.
    bool Run(const std::wstring& args, std::wstring* output = nullptr);
    const std::wstring& Dir() const
    {
        return dir_;
    }
    const std::wstring& LastOutput() const
    {
        return lastOutput_;
    }

private:
    std::wstring dir_;
    std::wstring lastOutput_;
};

// ---- Ambgui's settings (HKCU\Software\Dunmarrow\Ambrelle) -----------------

namespace settings {
extern const wchar_t* const kKeyPath;
// Deletes the whole key (first start).
void DeleteKey();
bool KeyExists();
void SetDword(const wchar_t* name, DWORD value);
void SetString(const wchar_t* name, const wchar_t* value);
void SetBinary(const wchar_t* name, const void* data, DWORD size, DWORD type);
// True when the value exists as a 4-byte REG_DWORD; *value gets it.
bool GetDword(const wchar_t* name, DWORD* value);
// Names of all values of the key, in the order the registry enumerates them.
std::vector<std::wstring> ValueNames();
// Writes the eight values the way a previous run would have left them.
void WriteAll(LONG x, LONG y, LONG width, LONG height, DWORD welcome, DWORD builtin, DWORD advanced,
              DWORD view);
} // namespace settings

// ---- A row of a list view as a person sees it ------------------------------

struct ListRow
{
    std::vector<std::wstring> cells; // one per column
    int image = -1;                  // image index (LVIF_IMAGE)
    int overlay = 0;                 // overlay image index (state bits 8-11)
    bool selected = false;
    int stateImage = 0; // 0 none; with check boxes 1 unchecked, 2 checked
    bool Checked() const
    {
        return stateImage == 2;
    }
};

struct TopWindow
{
    HWND hwnd;
    std::wstring className;
    std::wstring title;
};

// A dialog or message box of the target: its controls read by id.
struct DialogText
{
    std::wstring title;
    std::vector<std::wstring> statics; // texts of the static controls, in z-order
    std::vector<std::wstring> buttons; // captions of the buttons, in z-order
};

// ---- The program under test -----------------------------------------------

class App
{
public:
    App() = default;
    ~App(); // terminates the program if it still runs
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Starts the program (full Windows path; default: the sim build of Ambgui).
    bool Start(const std::wstring& exe = std::wstring(), const std::wstring& args = std::wstring());
    static std::wstring SimAmbguiPath();
    // Takes over a program that another one started (e.g. an elevated copy), so
    // that the test can work it and end it by its id.
    bool Attach(DWORD pid);
    DWORD Pid() const
    {
        return pid_;
    }
    HANDLE Process() const
    {
        return process_;
    }
    bool Running() const;
    // Waits for the program to end; *exitCode gets its exit code.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Kill();
    // Sends WM_CLOSE to the main window and waits for the program to end.
    bool Close(DWORD timeoutMs = 10000);

    // Waits until the program shows a visible top-level window of the class.
    HWND WaitMainWindow(const wchar_t* className = L"Ambgui", DWORD timeoutMs = 15000);
    HWND Main() const
    {
        return main_;
    }
    HWND Child(int id) const
    {
        return GetDlgItem(main_, id);
    }
    std::wstring Title() const;
    // Waits until the program has processed everything sent so far.
    bool Settle(DWORD timeoutMs = 5000) const;

    // Top-level windows of the program (visible or not).
    std::vector<TopWindow> Windows(bool visibleOnly = true) const;
    // Waits for a visible top-level dialog/message box ("#32770") with the title.
    HWND WaitDialog(const std::wstring& title, DWORD timeoutMs = 8000) const;
    // True when no such window shows within the time.
    bool NoDialog(const std::wstring& title, DWORD waitMs = 700) const;
    HWND FindDialog(const std::wstring& title) const;

    // ---- Commands, keys, mouse ----
    void Command(UINT id) const; // as a menu choice: posted WM_COMMAND
    // Key down and up posted to the window (default: the account list), so that it
    // passes the program's message loop with its accelerators.
    void PressKey(UINT vk, HWND target = nullptr) const;
    bool ClickToolbarButton(UINT command) const; // a mouse click on the button
    int ToolbarState(UINT command) const;        // TB_GETSTATE, -1 when absent
    int ToolbarButtonCount() const;
    std::wstring ToolbarButtonText(UINT command) const; // TB_GETBUTTONTEXTW
    // The window that has the keyboard focus in the program's UI thread.
    HWND FocusedWindow() const;

    // ---- List views (default: the account list 1000) ----
    int ItemCount(HWND list) const;
    int ColumnCount(HWND list) const;
    std::vector<std::wstring> ColumnTitles(HWND list) const;
    ListRow Row(HWND list, int item) const;
    std::vector<ListRow> Rows(HWND list) const;
    std::wstring Cell(HWND list, int item, int column) const;
    int FindRow(HWND list, const std::wstring& text) const; // by column 0; -1 if none
    std::vector<int> SelectedItems(HWND list) const;
    // Selects exactly this item (others deselected), focuses it, as a click would.
    bool SelectRow(HWND list, int item) const;
    bool ClearSelection(HWND list) const;
    bool ClickRow(HWND list, int item) const;
    bool DoubleClickRow(HWND list, int item) const;
    bool DoubleClickEmpty(HWND list) const;
    // Right-click below the last row; like RightClickRow, a popup stays open.
    bool RightClickEmpty(HWND list) const;
    // Right-click on a row; the popup it opens stays open (read it, then CloseMenu).
    bool RightClickRow(HWND list, int item) const;
    // The rectangle of a part of an item (LVIR_LABEL, LVIR_ICON, LVIR_BOUNDS).
    bool ItemRect(HWND list, int item, RECT* rect, int part = LVIR_LABEL) const;
    int ColumnWidth(HWND list, int column) const; // LVM_GETCOLUMNWIDTH
    // The width of a text in the list's own font (LVM_GETSTRINGWIDTHW), -1 on failure.
    int StringWidth(HWND list, const std::wstring& text) const;
    HWND AccountList() const
    {
        return Child(1000);
    }
    HWND DetailsList() const
    {
        return Child(1001);
    }
    HWND Toolbar() const
    {
        return Child(1100);
    }
    // The details pane as label -> value pairs.
    std::vector<std::pair<std::wstring, std::wstring>> Details() const;
    std::wstring DetailValue(const std::wstring& label) const;

    // ---- Menus (through the probe DLL) ----
    // MF_* state of a menu-bar item by command (GetMenuState), or -1 when the
    // menu has no such item.
    int MenuState(UINT command) const;
    bool MenuGrayed(UINT command) const;
    bool MenuChecked(UINT command) const;
    std::wstring MenuText(UINT command) const;
    // The popup menu currently open (after a right-click): ids, states, texts.
    struct MenuItem
    {
        UINT id;
        UINT state;
        std::wstring text;
    };
    bool WaitPopupMenu(std::vector<MenuItem>* items, DWORD timeoutMs = 5000) const;
    void CloseMenu() const;
    // Sends a message from inside the program (through the probe), for messages
    // such as WM_NOTIFY that the platform does not carry between processes. The
    // pointers in it must point into the program's memory.
    bool SendFromInside(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT* answer = nullptr) const;
    // The items of popup number index of the menu bar.
    std::vector<MenuItem> MenuBarPopup(int index) const;

    // ---- Dialogs and message boxes ----
    static std::wstring Text(HWND hwnd);
    static std::wstring ControlText(HWND dialog, int id);
    static DialogText ReadDialog(HWND dialog);
    // The message text of a message box (its static with id 0xFFFF).
    static std::wstring MessageText(HWND box);
    // Whether a message box shows an icon (MB_ICONWARNING and the like).
    static bool MessageBoxHasIcon(HWND box);
    static bool IsChecked(HWND dialog, int id);
    static bool IsEnabled(HWND dialog, int id);
    static void SetEditText(HWND dialog, int id, const std::wstring& text);
    static void Tick(HWND dialog, int id, bool on);
    // Presses a button (posted BM_CLICK: does not wait for what the click opens).
    static void PressButton(HWND dialog, int id);
    // Presses the button with this caption (a message box's はい/いいえ/OK).
    static bool PressButtonByText(HWND dialog, const std::wstring& caption);
    // Waits until the window is gone.
    static bool WaitGone(HWND hwnd, DWORD timeoutMs = 8000);

    // List boxes and combo boxes of a dialog.
    static std::vector<std::wstring> ListBoxItems(HWND dialog, int id);
    static int ListBoxSelection(HWND dialog, int id); // LB_GETCURSEL
    // Selects an entry as a click would: the dialog gets LBN_SELCHANGE.
    static bool SelectListBoxItem(HWND dialog, int id, int index);
    static std::vector<std::wstring> ComboItems(HWND dialog, int id);
    static int ComboSelection(HWND dialog, int id); // CB_GETCURSEL
    // Selects an entry as a person would: the dialog gets CBN_SELCHANGE.
    static bool SelectComboItem(HWND dialog, int id, int index);

    // Check boxes of a list view with LVS_EX_CHECKBOXES, set as a click on the
    // box would (the owner gets LVN_ITEMCHANGED).
    bool SetRowChecked(HWND list, int item, bool checked) const;
    // Date and time picker (DTM_GETSYSTEMTIME / DTM_SETSYSTEMTIME); Set also sends
    // the owner DTN_DATETIMECHANGE, as a change by the user does. Get returns
    // GDT_VALID, GDT_NONE or -1.
    int GetDateTime(HWND picker, SYSTEMTIME* time) const;
    bool SetDateTime(HWND picker, const SYSTEMTIME& time) const;

private:
    bool EmptyPoint(HWND list, POINT* pt) const;
    bool EnsureProbe() const;
    bool CallProbe(void* request, size_t size) const;
    bool WatchMarkers() const;
    bool PassMarker(DWORD timeoutMs) const;

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
    mutable void* probeRemote_ = nullptr;  // the probe's entry point in the target
    mutable void* markerRemote_ = nullptr; // where the probe records the last marker taken
    mutable LONG markerSent_ = 0;
};

// Visible top-level windows of a class in any process of the test desktop,
// with their process ids.
std::vector<std::pair<HWND, DWORD>> FindWindowsOfClass(const wchar_t* className);

// Ends programs that an earlier test on this desktop left behind (a test that
// was killed on timeout cannot end the program it started): every process with a
// top-level window of the class, visible or not. Returns how many were ended.
int EndLeftoverPrograms(const wchar_t* className);

// The desktop the window tests run on (created and entered on first use; the
// empty string when the default desktop is used).
const wchar_t* TestDesktopName();
// The display number and the X server's process id, for names of desktops.
std::wstring DisplayToken();
// Puts this thread (and every program started afterwards) on the named desktop;
// with a size, Wine shows it as one decorated window of that size. False when
// the desktop's shell did not come up: this process then never gets a screen.
bool UseDesktop(const wchar_t* name, int width = 0, int height = 0);

// ---- Screenshots ------------------------------------------------------------

// Captures the whole screen (or one window's outer rectangle when hwnd is given)
// and writes it as a 24-bit PNG.
bool SaveScreenshotPng(const std::wstring& path, HWND hwnd = nullptr);

// Where tests drop their screenshots for a person to look at: AMB_SHOT_DIR or
// the temp directory.
std::wstring ShotPath(const std::wstring& name);

// Sleeps in small steps until pred() holds or the time is up.
template <typename Pred> bool WaitFor(Pred pred, DWORD timeoutMs, DWORD stepMs = 50)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(stepMs);
    }
}

} // namespace guidriver
