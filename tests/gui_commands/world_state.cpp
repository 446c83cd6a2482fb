#include "world_state.h"

#include <nlohmann/json.hpp>

namespace cmdtest {
namespace {
using nlohmann::json;

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
    return out;
}

bool SameName(const std::string& a, const std::wstring& b)
{
    return CompareStringOrdinal(Wide(a).c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

json Parse(const std::string& text)
{
    json doc = json::parse(text, nullptr, false);
    return doc.is_discarded() ? json() : doc;
}

// The computer's record: the local computer is the dump itself, the others
// are listed under "remotes".
const json* Computer(const json& doc, const std::wstring& name)
{
    if (!doc.is_object())
        return nullptr;
    if (name.empty() || SameName(doc.value("computer", std::string()), name))
        return &doc;
    if (!doc.contains("remotes") || !doc["remotes"].is_array())
        return nullptr;
    for (const json& c : doc["remotes"])
        if (SameName(c.value("computer", std::string()), name))
            return &c;
    return nullptr;
}

const json* Find(const json* computer, const char* list, const char* key, const std::wstring& name)
{
    if (computer == nullptr || !computer->contains(list))
        return nullptr;
    for (const json& entry : (*computer)[list])
        if (SameName(entry.value(key, std::string()), name))
            return &entry;
    return nullptr;
}
} // namespace

WorldState::WorldState(guidriver::SimWorld& world)
{
    std::wstring output;
    ok_ = world.Run(L"dump", &output);
    text_ = Utf8(output);
    ok_ = ok_ && Parse(text_).is_object();
}

bool WorldState::HasUser(const std::wstring& name, const std::wstring& computer) const
{
    json doc = Parse(text_);
    return Find(Computer(doc, computer), "users", "name", name) != nullptr;
}

bool WorldState::HasGroup(const std::wstring& name, const std::wstring& computer) const
{
    json doc = Parse(text_);
    return Find(Computer(doc, computer), "groups", "name", name) != nullptr;
}

bool WorldState::HasProfileOf(const std::wstring& user) const
{
    json doc = Parse(text_);
    return Find(Computer(doc, L""), "profiles", "user", user) != nullptr;
}

std::wstring WorldState::UserSid(const std::wstring& name) const
{
    json doc = Parse(text_);
    const json* user = Find(Computer(doc, L""), "users", "name", name);
    return user != nullptr ? Wide(user->value("sid", std::string())) : std::wstring();
}

std::wstring WorldState::Opened() const
{
    json doc = Parse(text_);
    std::wstring lines;
    if (doc.is_object() && doc.contains("opened"))
        for (const json& target : doc["opened"])
            lines += Wide(target.get<std::string>()) + L"\n";
    return lines;
}

long long WorldState::Policy(const char* key, const std::wstring& computer) const
{
    json doc = Parse(text_);
    const json* record = Computer(doc, computer);
    if (record == nullptr || !record->contains("policy"))
        return -1;
    return (*record)["policy"].value(key, -1LL);
}

bool CreateProfileOf(guidriver::SimWorld& world, const std::wstring& user)
{
    std::wstring sid = WorldState(world).UserSid(user);
    if (sid.empty())
        return false;
    HMODULE sim = LoadLibraryW((guidriver::SimBinDir() + L"\\AmbSim.dll").c_str());
    if (sim == nullptr)
        return false;
    using CreateProfileFn = HRESULT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, DWORD);
    auto create = reinterpret_cast<CreateProfileFn>(
        reinterpret_cast<void*>(GetProcAddress(sim, "CreateProfile")));
    wchar_t path[MAX_PATH] = {};
    bool ok = create != nullptr && SUCCEEDED(create(sid.c_str(), user.c_str(), path, MAX_PATH));
    FreeLibrary(sim);
    return ok;
}

} // namespace cmdtest
