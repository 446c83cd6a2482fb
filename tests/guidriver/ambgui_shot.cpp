// ambgui_shot.exe OUT.png [--select NAME] [--view 0|1|2] [--personal] [--size WxH]
//                [--dpi N] [--dialog COMMAND [--press ID]... [--post ID]... [--file PATH]...
//                [--check ID]...]
//
// Takes a picture of the sim build of Ambgui for a person to look at: starts it
// inside a Wine virtual desktop (decorated windows), on the world named by
// AMBRELLE_SIM_DIR or, when that is not set, on a small demo computer with
// Japanese names, selects a row so that the details pane is filled, and writes
// the desktop as a PNG. Run it through tests/guidriver/ambgui-screenshot.sh.
//
// With --dialog, the main window's command COMMAND (40001 add user, 40002 user
// settings, ...) is chosen and the picture shows the dialog it opens. Each
// --press ID then clicks button ID of the frontmost dialog or message box (6 is
// Yes), and each --post ID sends it command ID (a popup menu's choice), in the
// order given, each waiting for the next window to come up: so
// "--dialog 40002 --press 1012 --press 6" shows the password-reset dialog.
// Each --file PATH types PATH into the file-name field of the frontmost open
// or save dialog and presses its OK button ("--dialog 40018 --file a.csv").
// Each --check ID clicks check box ID of the frontmost dialog, which stays.
// --type ID=TEXT types TEXT into control ID of the same dialog and --click ID
// clicks button ID of it, like --check ("--dialog 40019 --file v.vault
// --type 1101=PASSPHRASE --press 1 --click 1105": a vault with a password shown).
//
// --dpi N says at which display scale the prefix runs (the script sets it
// before this program starts; it is checked here). --size is in 96-DPI units:
// the desktop and the window grow with the scale, so that the picture shows
// the same layout at every scale.
//
// Exit code: 0 with the picture written, 3 when the virtual desktop did not
// come up, 1 for any other failure.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "guidriver.h"
#include "textformat.h"

using namespace guidriver;

namespace {

// The exit code when this process got no screen to draw on: another start of
// the program may well get one (the script tries once more).
constexpr int kDesktopMissing = 3;

int Fail(const wchar_t* what)
{
    PrintFormatted(L"ambgui_shot: %s\n", what);
    return 1;
}

// One step towards the dialog to show.
struct DialogStep
{
    bool post; // false: click button `id`; true: send command `id`
    int id;
    std::wstring file;  // when not empty: typed into a file dialog, then OK
    bool stays = false; // a check box: the same dialog stays in front
    std::wstring text;  // with stays: typed into control `id` instead of a click
};

// The file-name field of the common file dialogs (a combo box or an edit).
int FileNameField(HWND dialog)
{
    for (int id : {1148, 1152}) {
        HWND field = GetDlgItem(dialog, id);
        if (field != nullptr && IsWindowVisible(field))
            return id;
    }
    return 0;
}

// The program's frontmost visible dialog or message box, if any.
HWND FrontDialog(const App& app)
{
    for (const TopWindow& w : app.Windows(true))
        if (w.className == L"#32770")
            return w.hwnd;
    return nullptr;
}

// Waits for a dialog or message box other than `previous`.
HWND WaitNewDialog(const App& app, HWND previous)
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = FrontDialog(app);
            return found != nullptr && found != previous;
        },
        8000);
    return found != previous ? found : nullptr;
}

// Opens the dialog of `command` and walks the steps; false when a window that
// should open does not.
bool OpenDialog(App& app, UINT command, const std::vector<DialogStep>& steps)
{
    app.Command(command);
    HWND dialog = WaitNewDialog(app, nullptr);
    if (dialog == nullptr)
        return false;
    for (const DialogStep& step : steps) {
        if (step.stays && !step.text.empty()) {
            App::SetEditText(dialog, step.id, step.text);
            app.Settle();
            continue;
        }
        if (!step.file.empty()) {
            if (FileNameField(dialog) == 0)
                return false;
            App::SetEditText(dialog, FileNameField(dialog), step.file);
            App::PressButton(dialog, IDOK);
        } else if (step.post)
            PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(step.id), 0);
        else
            App::PressButton(dialog, step.id);
        app.Settle();
        if (step.stays)
            continue;
        HWND next = WaitNewDialog(app, dialog);
        if (next == nullptr)
            return false;
        dialog = next;
    }
    app.Settle();
    return true;
}

bool MakeDemoWorld(SimWorld& world)
{
    const wchar_t* commands[] = {
        L"reset",
        L"user add yamada --full-name 山田太郎 --comment 営業部の担当者",
        L"user add sato --full-name 佐藤花子 --comment 経理部",
        L"user add suzuki --full-name 鈴木一郎 --comment 休職中 --disabled",
        L"user add tanaka --full-name 田中次郎 --comment 開発部",
        L"lockout tanaka",
        L"last-logon yamada 1733900000",
        L"group add 営業部 --comment 営業部のメンバー",
        L"group add 経理部 --comment 経理システムの利用者",
        L"member add 営業部 yamada",
    };
    for (const wchar_t* command : commands)
        if (!world.Run(command)) {
            PrintFormatted(L"AmbSimCtl %s failed: %s\n", command, world.LastOutput().c_str());
            return false;
        }
    return true;
}

// The settings a person may have in this prefix, put back after the picture.
struct SavedValue
{
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

std::vector<SavedValue> SaveSettingsKey(bool* existed)
{
    std::vector<SavedValue> values;
    HKEY key = nullptr;
    *existed =
        RegOpenKeyExW(HKEY_CURRENT_USER, settings::kKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!*existed)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {};
        DWORD nameLength = 255, type = 0;
        BYTE data[1024] = {};
        DWORD size = sizeof(data);
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        values.push_back({name, type, std::vector<BYTE>(data, data + size)});
    }
    RegCloseKey(key);
    return values;
}

void RestoreSettingsKey(bool existed, const std::vector<SavedValue>& values)
{
    settings::DeleteKey();
    if (!existed)
        return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settings::kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const SavedValue& v : values)
        RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(),
                       static_cast<DWORD>(v.data.size()));
    RegCloseKey(key);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    _wsetlocale(LC_ALL, L"");
    if (argc < 2)
        return Fail(L"usage: ambgui_shot.exe OUT.png [--select NAME] [--view 0|1|2] [--personal] "
                    L"[--size WxH] [--dpi N] [--dialog COMMAND [--press ID]... [--post ID]... "
                    L"[--file PATH]... [--check ID]... [--type ID=TEXT]... [--click ID]...]");
    std::wstring out = argv[1];
    if (!out.empty() && out[0] == L'/') {
        std::string unix(out.begin(), out.end());
        out = WindowsPath(unix);
    }
    std::wstring select = L"yamada";
    DWORD view = 0, advanced = 1;
    int width = 1000, height = 720;
    int dpi = 0;
    UINT dialogCommand = 0;
    std::vector<DialogStep> steps;
    for (int i = 2; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--dialog" && i + 1 < argc)
            dialogCommand = static_cast<UINT>(_wtoi(argv[++i]));
        else if ((arg == L"--press" || arg == L"--post") && i + 1 < argc)
            steps.push_back({arg == L"--post", _wtoi(argv[++i]), L"", false, L""});
        else if ((arg == L"--check" || arg == L"--click") && i + 1 < argc)
            steps.push_back({false, _wtoi(argv[++i]), L"", true, L""});
        else if (arg == L"--type" && i + 1 < argc) {
            std::wstring typed = argv[++i];
            size_t equals = typed.find(L'=');
            steps.push_back({false, _wtoi(typed.c_str()), L"", true,
                             equals != std::wstring::npos ? typed.substr(equals + 1) : L""});
        } else if (arg == L"--file" && i + 1 < argc) {
            std::wstring file = argv[++i];
            if (file[0] == L'/')
                file = WindowsPath(std::string(file.begin(), file.end()));
            steps.push_back({false, 0, file, false, L""});
        } else if (arg == L"--select" && i + 1 < argc)
            select = argv[++i];
        else if (arg == L"--view" && i + 1 < argc)
            view = static_cast<DWORD>(_wtoi(argv[++i]));
        else if (arg == L"--dpi" && i + 1 < argc)
            dpi = _wtoi(argv[++i]);
        else if (arg == L"--personal")
            advanced = 0;
        else if (arg == L"--size" && i + 1 < argc) {
            std::wstring size = argv[++i];
            size_t x = size.find(L'x');
            if (x != std::wstring::npos) {
                width = _wtoi(size.substr(0, x).c_str());
                height = _wtoi(size.substr(x + 1).c_str());
            }
        } else
            return Fail(L"unknown argument");
    }
    if (!steps.empty() && dialogCommand == 0)
        return Fail(L"--press, --post, --file, --check, --type and --click need --dialog");
    if (width < 400 || height < 300)
        return Fail(L"the size must be at least 400x300");
    HDC screen = GetDC(nullptr);
    int screenDpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (dpi != 0 && dpi != screenDpi) {
        PrintFormatted(L"ambgui_shot: the display runs at %d DPI, not %d\n", screenDpi, dpi);
        return 1;
    }
    int desktopWidth = MulDiv(width, screenDpi, 96);
    int desktopHeight = MulDiv(height, screenDpi, 96);

    // A fresh demo world unless the caller names one.
    std::unique_ptr<SimWorld> demo;
    if (GetEnvironmentVariableW(L"AMBRELLE_SIM_DIR", nullptr, 0) == 0) {
        demo.reset(new SimWorld());
        if (!MakeDemoWorld(*demo))
            return Fail(L"could not set up the demo world");
    }

    wchar_t desktop[64] = {};
    FormatBounded(desktop, 64, L"AmbrelleShot%dx%d_%s", desktopWidth, desktopHeight,
                  DisplayToken().c_str());
    if (!UseDesktop(desktop, desktopWidth, desktopHeight)) {
        Fail(L"the virtual desktop did not come up");
        return kDesktopMissing;
    }

    bool hadSettings = false;
    std::vector<SavedValue> saved = SaveSettingsKey(&hadSettings);
    settings::WriteAll(0, 0, width, height, 1, 0, advanced, view);
    App app;
    if (!app.Start() || !app.WaitMainWindow()) {
        app.Kill();
        RestoreSettingsKey(hadSettings, saved);
        return Fail(L"Ambgui did not show its window");
    }
    int row = app.FindRow(app.AccountList(), select);
    if (row < 0 && app.ItemCount(app.AccountList()) > 0)
        row = 0;
    if (row >= 0)
        app.ClickRow(app.AccountList(), row);
    app.Settle();
    if (dialogCommand != 0 && !OpenDialog(app, dialogCommand, steps)) {
        app.Kill();
        RestoreSettingsKey(hadSettings, saved);
        return Fail(L"the dialog did not open");
    }
    Sleep(700); // let the last paint reach the screen
    bool written = SaveScreenshotPng(out);
    app.Close(5000);
    app.Kill();
    RestoreSettingsKey(hadSettings, saved);
    if (!written)
        return Fail(L"could not write the picture");
    PrintFormatted(L"%s\n", out.c_str());
    return 0;
}
