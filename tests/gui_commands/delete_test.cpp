// Deleting users and local groups from the main window, worked the way a
// person does: select, choose the command, read and answer the questions.
#include "ambgui_fixture.h"
#include "errortext.h"
#include "world_state.h"

namespace ambtest {
namespace {

const wchar_t kUserConfirmation[] =
    L"ユーザー %s を削除しようとしています。\n\nユーザーやローカル グループはセキュリティ識別子 "
    L"(Security Identifier。以下 SID) と呼ばれる識別子を持っており、Windows 上ではこの SID "
    L"によって管理されています。\n削除後、同一名でユーザーを再作成した場合も新たに SID "
    L"が発行され、システム上ではまったく異なるものとして扱われます。\n\nまた、削除を続行すると対象"
    L"ユーザーはこれ以降ネットワーク越しを含め、Windows "
    L"にログインすることができなくなります。\n\n削除しようとしているユーザーにユーザー "
    L"プロファイルがある場合、保存されているユーザー プロファイル "
    L"フォルダ内のファイルが使用できなくなることがあります。このため、削除前にバックアップを取るか"
    L"、システム復元ポイントを作成しておくことをお勧めします。\n\n選択したユーザーを本当に削除して"
    L"もよろしいですか？";

const wchar_t kGroupConfirmation[] =
    L"ローカル グループ %s を削除しようとしています。\n\nユーザーやローカル "
    L"グループはセキュリティ識別子 (Security Identifier。以下 SID) "
    L"と呼ばれる識別子を持っており、Windows 上ではこの SID "
    L"によって管理されています。\n削除後、同一名でローカル グループを再作成した場合も新たに SID "
    L"が発行され、システム上ではまったく異なるものとして扱われます。\n\nなお、ローカル "
    L"グループを削除してもユーザーは削除されませんが、削除しようとしているグループ名を使って NTFS "
    L"アクセス制限を行っている場合、ファイルやフォルダのアクセスに影響を及ぼす可能性があります。\n"
    L"\n"
    L"選択したローカル グループを本当に削除してもよろしいですか？";

const wchar_t kProfileQuestion[] =
    L"ユーザー プロファイルも同時に削除しますか？\n(削除すると、ユーザー プロファイル "
    L"フォルダ内に保存されているファイルはすべて削除されます。)";

// A message text with one name put in for "%s".
std::wstring WithName(const wchar_t* format, const std::wstring& name)
{
    std::wstring text = format;
    size_t at = text.find(L"%s");
    return at == std::wstring::npos ? text : text.replace(at, 2, name);
}

std::wstring PlatformText(DWORD code)
{
    LPWSTR text = FormatErrorText(code);
    std::wstring result = text != nullptr ? text : L"";
    if (text != nullptr)
        LocalFree(text);
    return result;
}

class DeleteTest : public AmbguiTest
{
protected:
    void SetUp() override
    {
        AmbguiTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(Sim(L"user add taro --full-name 山田太郎"));
        ASSERT_TRUE(Sim(L"group add keiri --comment 経理部"));
    }

    void StartAndSelect(const std::wstring& name)
    {
        PrepareSettings();
        ASSERT_TRUE(StartReady());
        Select(name);
    }

    void Select(const std::wstring& name)
    {
        int row = app.FindRow(app.AccountList(), name);
        ASSERT_GE(row, 0) << Narrow(name) << " is not listed";
        ASSERT_TRUE(app.ClickRow(app.AccountList(), row));
        ASSERT_EQ(app.SelectedItems(app.AccountList()), std::vector<int>{row});
    }

    // The message box that must open now, with its text checked.
    HWND ExpectBox(const std::wstring& caption, const std::wstring& text)
    {
        HWND box = AmbguiTest::ExpectBox(caption);
        if (box != nullptr) {
            EXPECT_TEXT(App::MessageText(box), text);
        }
        return box;
    }

    // Whether a button of a message box is its default (Enter presses it).
    static bool IsDefault(HWND box, int id)
    {
        LONG style = GetWindowLongW(GetDlgItem(box, id), GWL_STYLE);
        return (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    }

    static void ExpectNoIsDefault(HWND box)
    {
        EXPECT_TRUE(IsDefault(box, IDNO));
        EXPECT_FALSE(IsDefault(box, IDYES));
    }

    cmdtest::WorldState World()
    {
        cmdtest::WorldState state(world);
        EXPECT_TRUE(state.Ok()) << "the world could not be read";
        return state;
    }
};

TEST_F(DeleteTest, WithoutASelectionBothCommandsAskForOne)
{
    PrepareSettings();
    ASSERT_TRUE(StartReady());
    ASSERT_TRUE(app.ClearSelection(app.AccountList()));

    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザーの削除", L"削除するユーザーを選択してください。"), IDOK);
    app.Command(kDeleteGroup);
    Answer(ExpectBox(L"グループの削除", L"削除するグループを選択してください。"), IDOK);
    ExpectNoMoreBoxes();
    EXPECT_TRUE(World().HasUser(L"taro"));
    EXPECT_TRUE(World().HasGroup(L"keiri"));
}

TEST_F(DeleteTest, TheRunningUserIsRefusedBeforeAnyConfirmation)
{
    StartAndSelect(L"kanri");
    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザー削除エラー", L"ユーザー kanri は自分自身であるため削除できません。"),
           IDOK);
    ExpectNoMoreBoxes();
    EXPECT_TRUE(World().HasUser(L"kanri"));
    EXPECT_TRUE(Listed(L"kanri"));
}

TEST_F(DeleteTest, AnsweringNoWhichIsTheDefaultChangesNothing)
{
    ASSERT_TRUE(cmdtest::CreateProfileOf(world, L"taro"));
    StartAndSelect(L"taro");
    int rows = app.ItemCount(app.AccountList());
    app.Command(kDeleteUser);
    HWND box = ExpectBox(L"ユーザー削除の確認", WithName(kUserConfirmation, L"taro"));
    ExpectNoIsDefault(box);
    Answer(box, IDNO);
    ExpectNoMoreBoxes();
    cmdtest::WorldState state = World();
    EXPECT_TRUE(state.HasUser(L"taro"));
    EXPECT_TRUE(state.HasProfileOf(L"taro"));
    EXPECT_EQ(app.ItemCount(app.AccountList()), rows);
}

TEST_F(DeleteTest, ProfileGoesFirstEvenWhenTheAccountThenCannotBeDeleted)
{
    ASSERT_TRUE(cmdtest::CreateProfileOf(world, L"taro"));
    StartAndSelect(L"taro");
    std::vector<ListRow> before = app.Rows(app.AccountList());
    ASSERT_TRUE(Sim(L"fail NetUserDel 5"));

    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザー削除の確認", WithName(kUserConfirmation, L"taro")), IDYES);
    HWND question = ExpectBox(L"ユーザー プロファイル削除の確認", kProfileQuestion);
    EXPECT_TRUE(World().HasUser(L"taro")) << "the profile question comes before the deletion";
    Answer(question, IDYES);
    Answer(ExpectBox(L"ユーザー削除エラー",
                     L"ユーザーを削除できませんでした。\n(エラー詳細 : " + PlatformText(5) + L")"),
           IDOK);
    ExpectNoMoreBoxes();

    cmdtest::WorldState state = World();
    EXPECT_TRUE(state.HasUser(L"taro"));
    EXPECT_FALSE(state.HasProfileOf(L"taro"));
    // The list was not read again: same rows, same selection.
    std::vector<ListRow> after = app.Rows(app.AccountList());
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].cells, before[i].cells);
        EXPECT_EQ(after[i].selected, before[i].selected);
    }
}

TEST_F(DeleteTest, SuccessKeepsTheProfileWhenDeclinedThenRefreshesAndReports)
{
    ASSERT_TRUE(cmdtest::CreateProfileOf(world, L"taro"));
    StartAndSelect(L"taro");
    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザー削除の確認", WithName(kUserConfirmation, L"taro")), IDYES);
    Answer(ExpectBox(L"ユーザー プロファイル削除の確認", kProfileQuestion), IDNO);
    HWND done = ExpectBox(L"ユーザー削除完了", L"ユーザー taro は正常に削除されました。");
    EXPECT_FALSE(Listed(L"taro")) << "the list is read again before the report";
    EXPECT_TRUE(app.SelectedItems(app.AccountList()).empty());
    EXPECT_TRUE(app.MenuGrayed(kDeleteUser));
    Answer(done, IDOK);
    ExpectNoMoreBoxes();

    cmdtest::WorldState state = World();
    EXPECT_FALSE(state.HasUser(L"taro"));
    EXPECT_TRUE(state.HasProfileOf(L"taro"));
    EXPECT_TRUE(Listed(L"kanri"));
}

TEST_F(DeleteTest, UnreadableRecordSkipsTheProfileQuestionAndStillDeletes)
{
    ASSERT_TRUE(cmdtest::CreateProfileOf(world, L"taro"));
    StartAndSelect(L"taro");
    ASSERT_TRUE(Sim(L"fail NetUserGetInfo 5"));
    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザー削除の確認", WithName(kUserConfirmation, L"taro")), IDYES);
    Answer(ExpectBox(L"ユーザー削除完了", L"ユーザー taro は正常に削除されました。"), IDOK);
    ExpectNoMoreBoxes();
    cmdtest::WorldState state = World();
    EXPECT_FALSE(state.HasUser(L"taro"));
    EXPECT_TRUE(state.HasProfileOf(L"taro")) << "no SID, so no profile was touched";
}

TEST_F(DeleteTest, DeletingAGroupAsksWithNoAsDefaultAndReportsFailureAndSuccess)
{
    StartAndSelect(L"keiri");
    const std::wstring confirmation = WithName(kGroupConfirmation, L"keiri");

    app.Command(kDeleteGroup);
    HWND box = ExpectBox(L"グループ削除の確認", confirmation);
    ExpectNoIsDefault(box);
    Answer(box, IDNO);
    ExpectNoMoreBoxes();
    EXPECT_TRUE(World().HasGroup(L"keiri"));

    ASSERT_TRUE(Sim(L"fail NetLocalGroupDel 5"));
    app.Command(kDeleteGroup);
    Answer(ExpectBox(L"グループ削除の確認", confirmation), IDYES);
    Answer(ExpectBox(L"グループ削除エラー",
                     L"ローカル グループを削除できませんでした。\n(エラー詳細 : " +
                         PlatformText(5) + L")"),
           IDOK);
    ExpectNoMoreBoxes();
    EXPECT_TRUE(World().HasGroup(L"keiri"));
    EXPECT_TRUE(Listed(L"keiri"));
    EXPECT_EQ(app.SelectedItems(app.AccountList()).size(), 1u);

    app.Command(kDeleteGroup);
    Answer(ExpectBox(L"グループ削除の確認", confirmation), IDYES);
    HWND done = ExpectBox(L"グループ削除完了", L"グループ keiri は正常に削除されました。");
    EXPECT_FALSE(Listed(L"keiri"));
    Answer(done, IDOK);
    ExpectNoMoreBoxes();
    EXPECT_FALSE(World().HasGroup(L"keiri"));
    EXPECT_TRUE(World().HasUser(L"taro"));
}

// Selects a row by its state alone, as an automation or accessibility tool
// does: the list's selection mark stays on the row clicked before.
bool SelectLeavingTheMark(const App& app, HWND list, int from, int to)
{
    void* remote = VirtualAllocEx(app.Process(), nullptr, sizeof(LVITEMW), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (remote == nullptr)
        return false;
    bool ok = true;
    for (int row : {from, to}) {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED;
        item.state = row == to ? LVIS_SELECTED : 0;
        DWORD_PTR result = 0;
        ok = ok && WriteProcessMemory(app.Process(), remote, &item, sizeof(item), nullptr) &&
             SendMessageTimeoutW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote),
                                 SMTO_NORMAL, 3000, &result) &&
             result;
    }
    VirtualFreeEx(app.Process(), remote, 0, MEM_RELEASE);
    app.Settle();
    return ok;
}

// The account deleted is the one the list shows selected (and the details
// pane describes), even when the selection mark was left on another row.
TEST_F(DeleteTest, TheHighlightedUserIsTheOneAskedForWhereverTheMarkIs)
{
    ASSERT_TRUE(Sim(L"user add hanako"));
    StartAndSelect(L"taro");
    HWND list = app.AccountList();
    int taro = app.FindRow(list, L"taro");
    int hanako = app.FindRow(list, L"hanako");
    ASSERT_TRUE(SelectLeavingTheMark(app, list, taro, hanako));
    ASSERT_EQ(app.SelectedItems(list), std::vector<int>{hanako});
    ASSERT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), taro);
    EXPECT_TEXT(app.DetailValue(L"ユーザー名"), L"hanako");

    app.Command(kDeleteUser);
    Answer(ExpectBox(L"ユーザー削除の確認", WithName(kUserConfirmation, L"hanako")), IDYES);
    Answer(ExpectBox(L"ユーザー プロファイル削除の確認", kProfileQuestion), IDNO);
    Answer(ExpectBox(L"ユーザー削除完了", L"ユーザー hanako は正常に削除されました。"), IDOK);
    ExpectNoMoreBoxes();
    cmdtest::WorldState state = World();
    EXPECT_FALSE(state.HasUser(L"hanako"));
    EXPECT_TRUE(state.HasUser(L"taro"));
}

// A local group name may have 256 characters. Read cut short, it would name
// the group with its first 255 characters, and that one would be deleted.
TEST_F(DeleteTest, LongestGroupNameIsDeletedWholeAndItsNamesakePrefixStays)
{
    const std::wstring prefix(255, L'g');
    const std::wstring longest = prefix + L"z";
    ASSERT_TRUE(Sim(L"group add " + prefix));
    ASSERT_TRUE(Sim(L"group add " + longest));
    StartAndSelect(longest);
    app.Command(kDeleteGroup);
    Answer(ExpectBox(L"グループ削除の確認", WithName(kGroupConfirmation, longest)), IDYES);
    Answer(
        ExpectBox(L"グループ削除完了", WithName(L"グループ %s は正常に削除されました。", longest)),
        IDOK);
    ExpectNoMoreBoxes();
    cmdtest::WorldState state = World();
    EXPECT_FALSE(state.HasGroup(longest));
    EXPECT_TRUE(state.HasGroup(prefix));
}

} // namespace
} // namespace ambtest
