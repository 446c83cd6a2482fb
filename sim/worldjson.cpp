// The world's stored documents and the readable dump.
//
// Stored form: the world's document {"generation": N, "world": {...}}, whose
// "computers" names the document of each computer (one computer's accounts in
// the shape of WriteComputer). "generation" always opens it: the store reads
// just the first bytes to learn whether its cached copy is still current. A
// document of an earlier version, with the computers in it, is read as well.
#include <windows.h>
#include <lm.h>

#include <nlohmann/json.hpp>

#include "simcore.h"

namespace ambsim {

using nlohmann::json;

namespace {

std::string S(const std::wstring& s)
{
    return ToUtf8(s);
}

std::wstring W(const json& j, const char* key)
{
    auto it = j.find(key);
    if (it == j.end() || it->is_null())
        return std::wstring();
    return FromUtf8(it->get<std::string>());
}

template <class T> T N(const json& j, const char* key, T fallback)
{
    auto it = j.find(key);
    if (it == j.end() || it->is_null())
        return fallback;
    return it->get<T>();
}

std::string HoursToHex(const std::array<BYTE, 21>& hours)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (BYTE b : hours) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

bool HexToHours(const std::string& hex, std::array<BYTE, 21>& hours)
{
    if (hex.size() != 42)
        return false;
    auto nibble = [](char ch) -> int {
        if (ch >= '0' && ch <= '9')
            return ch - '0';
        if (ch >= 'a' && ch <= 'f')
            return ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F')
            return ch - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < 21; ++i) {
        int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        hours[i] = static_cast<BYTE>(hi * 16 + lo);
    }
    return true;
}

json UserToJson(const User& u)
{
    return json{{"name", S(u.name)},
                {"rid", u.rid},
                {"password", S(u.password)},
                {"fullName", S(u.fullName)},
                {"comment", S(u.comment)},
                {"usrComment", S(u.usrComment)},
                {"homeDir", S(u.homeDir)},
                {"homeDirDrive", S(u.homeDirDrive)},
                {"scriptPath", S(u.scriptPath)},
                {"profile", S(u.profile)},
                {"parms", S(u.parms)},
                {"workstations", S(u.workstations)},
                {"flags", u.flags},
                {"locked", u.locked},
                {"lockoutTime", u.lockoutTime},
                {"lastBadPassword", u.lastBadPassword},
                {"passwordExpired", u.passwordExpired},
                {"passwordLastSet", u.passwordLastSet},
                {"lastLogon", u.lastLogon},
                {"lastLogoff", u.lastLogoff},
                {"acctExpires", u.acctExpires},
                {"authFlags", u.authFlags},
                {"countryCode", u.countryCode},
                {"codePage", u.codePage},
                {"maxStorage", u.maxStorage},
                {"badPwCount", u.badPwCount},
                {"numLogons", u.numLogons},
                {"primaryGroupId", u.primaryGroupId},
                {"logonHours", HoursToHex(u.logonHours)},
                {"microsoftAccount", S(u.microsoftAccount)},
                {"microsoftAccountSid", S(u.microsoftAccountSid)}};
}

User UserFromJson(const json& j)
{
    User u;
    u.name = W(j, "name");
    u.rid = N<DWORD>(j, "rid", 0);
    u.password = W(j, "password");
    u.fullName = W(j, "fullName");
    u.comment = W(j, "comment");
    u.usrComment = W(j, "usrComment");
    u.homeDir = W(j, "homeDir");
    u.homeDirDrive = W(j, "homeDirDrive");
    u.scriptPath = W(j, "scriptPath");
    u.profile = W(j, "profile");
    u.parms = W(j, "parms");
    u.workstations = W(j, "workstations");
    u.flags = N<DWORD>(j, "flags", UF_SCRIPT | UF_NORMAL_ACCOUNT);
    u.locked = N<bool>(j, "locked", false);
    u.lockoutTime = N<int64_t>(j, "lockoutTime", 0);
    u.lastBadPassword = N<int64_t>(j, "lastBadPassword", 0);
    u.passwordExpired = N<bool>(j, "passwordExpired", false);
    u.passwordLastSet = N<int64_t>(j, "passwordLastSet", 0);
    u.lastLogon = N<int64_t>(j, "lastLogon", 0);
    u.lastLogoff = N<int64_t>(j, "lastLogoff", 0);
    u.acctExpires = N<DWORD>(j, "acctExpires", kTimeqForever);
    u.authFlags = N<DWORD>(j, "authFlags", 0);
    u.countryCode = N<DWORD>(j, "countryCode", 0);
    u.codePage = N<DWORD>(j, "codePage", 0);
    u.maxStorage = N<DWORD>(j, "maxStorage", USER_MAXSTORAGE_UNLIMITED);
    u.badPwCount = N<DWORD>(j, "badPwCount", 0);
    u.numLogons = N<DWORD>(j, "numLogons", 0);
    u.primaryGroupId = N<DWORD>(j, "primaryGroupId", 513);
    u.microsoftAccount = W(j, "microsoftAccount");
    u.microsoftAccountSid = W(j, "microsoftAccountSid");
    auto it = j.find("logonHours");
    if (it != j.end() && it->is_string() && !HexToHours(it->get<std::string>(), u.logonHours))
        throw std::runtime_error("logon hours");
    return u;
}

json StringList(const std::vector<std::wstring>& list)
{
    json a = json::array();
    for (const std::wstring& s : list)
        a.push_back(S(s));
    return a;
}

std::vector<std::wstring> StringListFrom(const json& j, const char* key)
{
    std::vector<std::wstring> out;
    auto it = j.find(key);
    if (it != j.end() && !it->is_null())
        for (const json& s : *it)
            out.push_back(FromUtf8(s.get<std::string>()));
    return out;
}

json PolicyToJson(const Policy& p)
{
    return json{{"minLength", p.minLength},
                {"maxAge", p.maxAge},
                {"minAge", p.minAge},
                {"forceLogoff", p.forceLogoff},
                {"historyLength", p.historyLength},
                {"lockoutThreshold", p.lockoutThreshold},
                {"lockoutDuration", p.lockoutDuration},
                {"lockoutWindow", p.lockoutWindow}};
}

json ComputerToJson(const Computer& c)
{
    json users = json::array(), groups = json::array(), profiles = json::array();
    for (const User& u : c.users)
        users.push_back(UserToJson(u));
    for (const Group& g : c.groups)
        groups.push_back(json{{"name", S(g.name)},
                              {"rid", g.rid},
                              {"builtin", g.builtin},
                              {"comment", S(g.comment)},
                              {"members", StringList(g.members)}});
    for (const Profile& p : c.profiles)
        profiles.push_back(json{{"sid", S(p.sid)}, {"user", S(p.user)}, {"path", S(p.path)}});
    return json{{"name", S(c.name)},
                {"domainSid", S(c.domainSid)},
                {"ips", StringList(c.ips)},
                {"offline", c.offline},
                {"latencyMs", c.latencyMs},
                {"tokenFilterPolicy", c.tokenFilterPolicy},
                {"restrictRemoteSam", c.restrictRemoteSam},
                {"limitBlankPasswordUse", c.limitBlankPasswordUse},
                {"firewallClosed", c.firewallClosed},
                {"connectTimeoutMs", c.connectTimeoutMs},
                {"domain", S(c.domain)},
                {"dc", S(c.dc)},
                {"nextRid", c.nextRid},
                {"policy", PolicyToJson(c.policy)},
                {"users", users},
                {"groups", groups},
                {"profiles", profiles}};
}

Computer ComputerFromJson(const json& j)
{
    Computer c;
    c.name = W(j, "name");
    c.domainSid = W(j, "domainSid");
    c.ips = StringListFrom(j, "ips");
    c.offline = N<bool>(j, "offline", false);
    c.latencyMs = N<DWORD>(j, "latencyMs", 0);
    c.tokenFilterPolicy = N<DWORD>(j, "tokenFilterPolicy", 0);
    c.restrictRemoteSam = N<bool>(j, "restrictRemoteSam", true);
    c.limitBlankPasswordUse = N<bool>(j, "limitBlankPasswordUse", true);
    c.firewallClosed = N<bool>(j, "firewallClosed", false);
    c.connectTimeoutMs = N<DWORD>(j, "connectTimeoutMs", kDefaultConnectTimeoutMs);
    c.domain = W(j, "domain");
    c.dc = W(j, "dc");
    c.nextRid = N<DWORD>(j, "nextRid", kFirstRid);
    if (j.contains("policy")) {
        const json& p = j.at("policy");
        const Policy d;
        c.policy.minLength = N<DWORD>(p, "minLength", d.minLength);
        c.policy.maxAge = N<DWORD>(p, "maxAge", d.maxAge);
        c.policy.minAge = N<DWORD>(p, "minAge", d.minAge);
        c.policy.forceLogoff = N<DWORD>(p, "forceLogoff", d.forceLogoff);
        c.policy.historyLength = N<DWORD>(p, "historyLength", d.historyLength);
        c.policy.lockoutThreshold = N<DWORD>(p, "lockoutThreshold", d.lockoutThreshold);
        c.policy.lockoutDuration = N<DWORD>(p, "lockoutDuration", d.lockoutDuration);
        c.policy.lockoutWindow = N<DWORD>(p, "lockoutWindow", d.lockoutWindow);
    }
    for (const json& u : j.at("users"))
        c.users.push_back(UserFromJson(u));
    for (const json& gj : j.at("groups")) {
        Group g;
        g.name = W(gj, "name");
        g.rid = N<DWORD>(gj, "rid", 0);
        g.builtin = N<bool>(gj, "builtin", false);
        g.comment = W(gj, "comment");
        g.members = StringListFrom(gj, "members");
        c.groups.push_back(g);
    }
    if (j.contains("profiles"))
        for (const json& p : j.at("profiles"))
            c.profiles.push_back(Profile{W(p, "sid"), W(p, "user"), W(p, "path")});
    if (c.name.empty() || c.domainSid.empty())
        throw std::runtime_error("computer");
    c.Reindex();
    return c;
}

json LaunchToJson(const Launch& l)
{
    return json{{"program", S(l.program)}, {"commandLine", S(l.commandLine)}, {"user", S(l.user)},
                {"via", S(l.via)},         {"elevated", l.elevated},          {"time", l.time}};
}

json WorldBody(const World& w)
{
    json computers = json::array(), faults = json::array(), launches = json::array();
    for (const Computer& c : w.computers)
        computers.push_back(ComputerToJson(c));
    for (const Fault& f : w.faults)
        faults.push_back(
            json{{"function", S(f.function)}, {"code", f.code}, {"remaining", f.remaining}});
    for (const Launch& l : w.launches)
        launches.push_back(LaunchToJson(l));
    json domains = json::array(), connections = json::array(), credentials = json::array();
    for (const Computer& d : w.domains)
        domains.push_back(ComputerToJson(d));
    for (const Connection& c : w.connections)
        connections.push_back(json{{"owner", S(c.owner)},
                                   {"remote", S(c.remote)},
                                   {"server", S(c.server)},
                                   {"user", S(c.user)},
                                   {"password", S(c.password)}});
    for (const Credential& c : w.credentials)
        credentials.push_back(json{{"owner", S(c.owner)},
                                   {"target", S(c.target)},
                                   {"user", S(c.user)},
                                   {"password", S(c.password)}});
    return json{{"computers", computers},
                {"domains", domains},
                {"connections", connections},
                {"credentials", credentials},
                {"session",
                 {{"user", S(w.session.user)},
                  {"admin", w.session.admin},
                  {"elevated", w.session.elevated},
                  {"password", S(w.session.password)},
                  {"tokenSids", StringList(w.session.tokenSids)}}},
                {"consent", w.consentAllow ? "allow" : "deny"},
                {"open", w.openSucceeds ? "succeed" : "fail"},
                {"opened", StringList(w.opened)},
                {"launches", launches},
                {"faults", faults},
                {"clock", w.fixedClock}};
}

} // namespace

namespace {

// A direct JSON writer for the stored document: with 10,000 users it is many times
// faster than building the document as JSON values first.
class Writer
{
public:
    std::string text;

    void Raw(const char* s)
    {
        text += s;
    }
    void Key(const char* key)
    {
        Comma();
        text += '"';
        text += key;
        text += "\":";
        first_ = false;
        afterKey_ = true;
    }
    void Str(const std::wstring& value)
    {
        Comma();
        Quote(ToUtf8(value));
    }
    void Num(long long value)
    {
        Comma();
        text += std::to_string(value);
    }
    void Bool(bool value)
    {
        Comma();
        text += value ? "true" : "false";
    }
    void Open(char bracket)
    {
        Comma();
        text += bracket;
        first_ = true;
    }
    void Close(char bracket)
    {
        text += bracket;
        first_ = false;
    }
    void StrList(const std::vector<std::wstring>& list)
    {
        Open('[');
        for (const std::wstring& s : list)
            Str(s);
        Close(']');
    }

private:
    bool first_ = true;
    bool afterKey_ = false;

    void Comma()
    {
        if (afterKey_)
            afterKey_ = false;
        else if (!first_)
            text += ',';
        first_ = false;
    }
    void Quote(const std::string& utf8)
    {
        text += '"';
        for (unsigned char ch : utf8) {
            if (ch == '"' || ch == '\\') {
                text += '\\';
                text += static_cast<char>(ch);
            } else if (ch < 0x20) {
                static const char hex[] = "0123456789abcdef";
                text += "\\u00";
                text += hex[ch >> 4];
                text += hex[ch & 15];
            } else {
                text += static_cast<char>(ch);
            }
        }
        text += '"';
    }
};

void WriteUser(Writer& o, const User& u)
{
    o.Open('{');
    o.Key("name"), o.Str(u.name);
    o.Key("rid"), o.Num(u.rid);
    o.Key("password"), o.Str(u.password);
    o.Key("fullName"), o.Str(u.fullName);
    o.Key("comment"), o.Str(u.comment);
    o.Key("usrComment"), o.Str(u.usrComment);
    o.Key("homeDir"), o.Str(u.homeDir);
    o.Key("homeDirDrive"), o.Str(u.homeDirDrive);
    o.Key("scriptPath"), o.Str(u.scriptPath);
    o.Key("profile"), o.Str(u.profile);
    o.Key("parms"), o.Str(u.parms);
    o.Key("workstations"), o.Str(u.workstations);
    o.Key("flags"), o.Num(u.flags);
    o.Key("locked"), o.Bool(u.locked);
    o.Key("lockoutTime"), o.Num(u.lockoutTime);
    o.Key("lastBadPassword"), o.Num(u.lastBadPassword);
    o.Key("passwordExpired"), o.Bool(u.passwordExpired);
    o.Key("passwordLastSet"), o.Num(u.passwordLastSet);
    o.Key("lastLogon"), o.Num(u.lastLogon);
    o.Key("lastLogoff"), o.Num(u.lastLogoff);
    o.Key("acctExpires"), o.Num(u.acctExpires);
    o.Key("authFlags"), o.Num(u.authFlags);
    o.Key("countryCode"), o.Num(u.countryCode);
    o.Key("codePage"), o.Num(u.codePage);
    o.Key("maxStorage"), o.Num(u.maxStorage);
    o.Key("badPwCount"), o.Num(u.badPwCount);
    o.Key("numLogons"), o.Num(u.numLogons);
    o.Key("primaryGroupId"), o.Num(u.primaryGroupId);
    o.Key("logonHours"), o.Str(FromUtf8(HoursToHex(u.logonHours)));
    o.Key("microsoftAccount"), o.Str(u.microsoftAccount);
    o.Key("microsoftAccountSid"), o.Str(u.microsoftAccountSid);
    o.Close('}');
}

void WriteComputer(Writer& o, const Computer& c)
{
    o.Open('{');
    o.Key("name"), o.Str(c.name);
    o.Key("domainSid"), o.Str(c.domainSid);
    o.Key("ips"), o.StrList(c.ips);
    o.Key("offline"), o.Bool(c.offline);
    o.Key("latencyMs"), o.Num(c.latencyMs);
    o.Key("tokenFilterPolicy"), o.Num(c.tokenFilterPolicy);
    o.Key("restrictRemoteSam"), o.Bool(c.restrictRemoteSam);
    o.Key("limitBlankPasswordUse"), o.Bool(c.limitBlankPasswordUse);
    o.Key("firewallClosed"), o.Bool(c.firewallClosed);
    o.Key("connectTimeoutMs"), o.Num(c.connectTimeoutMs);
    o.Key("domain"), o.Str(c.domain);
    o.Key("dc"), o.Str(c.dc);
    o.Key("nextRid"), o.Num(c.nextRid);
    o.Key("policy"), o.Open('{');
    o.Key("minLength"), o.Num(c.policy.minLength);
    o.Key("maxAge"), o.Num(c.policy.maxAge);
    o.Key("minAge"), o.Num(c.policy.minAge);
    o.Key("forceLogoff"), o.Num(c.policy.forceLogoff);
    o.Key("historyLength"), o.Num(c.policy.historyLength);
    o.Key("lockoutThreshold"), o.Num(c.policy.lockoutThreshold);
    o.Key("lockoutDuration"), o.Num(c.policy.lockoutDuration);
    o.Key("lockoutWindow"), o.Num(c.policy.lockoutWindow);
    o.Close('}');
    o.Key("users"), o.Open('[');
    for (const User& u : c.users)
        WriteUser(o, u);
    o.Close(']');
    o.Key("groups"), o.Open('[');
    for (const Group& g : c.groups) {
        o.Open('{');
        o.Key("name"), o.Str(g.name);
        o.Key("rid"), o.Num(g.rid);
        o.Key("builtin"), o.Bool(g.builtin);
        o.Key("comment"), o.Str(g.comment);
        o.Key("members"), o.StrList(g.members);
        o.Close('}');
    }
    o.Close(']');
    o.Key("profiles"), o.Open('[');
    for (const Profile& p : c.profiles) {
        o.Open('{');
        o.Key("sid"), o.Str(p.sid);
        o.Key("user"), o.Str(p.user);
        o.Key("path"), o.Str(p.path);
        o.Close('}');
    }
    o.Close(']');
    o.Close('}');
}

} // namespace

std::string SerializeComputer(const Computer& c)
{
    Writer o;
    WriteComputer(o, c);
    o.text += '\n';
    return o.text;
}

bool ParseComputer(const std::string& text, Computer& out)
{
    try {
        out = ComputerFromJson(json::parse(text));
        return true;
    } catch (...) {
        return false;
    }
}

// "generation" opens the document: the store reads only the first bytes to learn it.
std::string SerializeWorld(const World& w, const std::vector<std::wstring>& computerFiles)
{
    Writer o;
    o.Open('{');
    o.Key("generation"), o.Num(w.generation);
    o.Key("world"), o.Open('{');
    o.Key("computers"), o.StrList(computerFiles);
    o.Key("session"), o.Open('{');
    o.Key("user"), o.Str(w.session.user);
    o.Key("admin"), o.Bool(w.session.admin);
    o.Key("elevated"), o.Bool(w.session.elevated);
    o.Key("password"), o.Str(w.session.password);
    o.Key("tokenSids"), o.StrList(w.session.tokenSids);
    o.Close('}');
    o.Key("domains"), o.Open('[');
    for (const Computer& d : w.domains)
        WriteComputer(o, d);
    o.Close(']');
    o.Key("connections"), o.Open('[');
    for (const Connection& c : w.connections) {
        o.Open('{');
        o.Key("owner"), o.Str(c.owner);
        o.Key("remote"), o.Str(c.remote);
        o.Key("server"), o.Str(c.server);
        o.Key("user"), o.Str(c.user);
        o.Key("password"), o.Str(c.password);
        o.Close('}');
    }
    o.Close(']');
    o.Key("credentials"), o.Open('[');
    for (const Credential& c : w.credentials) {
        o.Open('{');
        o.Key("owner"), o.Str(c.owner);
        o.Key("target"), o.Str(c.target);
        o.Key("user"), o.Str(c.user);
        o.Key("password"), o.Str(c.password);
        o.Close('}');
    }
    o.Close(']');
    o.Key("consent"), o.Str(w.consentAllow ? L"allow" : L"deny");
    o.Key("open"), o.Str(w.openSucceeds ? L"succeed" : L"fail");
    o.Key("opened"), o.StrList(w.opened);
    o.Key("launches"), o.Open('[');
    for (const Launch& l : w.launches) {
        o.Open('{');
        o.Key("program"), o.Str(l.program);
        o.Key("commandLine"), o.Str(l.commandLine);
        o.Key("user"), o.Str(l.user);
        o.Key("via"), o.Str(l.via);
        o.Key("elevated"), o.Bool(l.elevated);
        o.Key("time"), o.Num(l.time);
        o.Close('}');
    }
    o.Close(']');
    o.Key("faults"), o.Open('[');
    for (const Fault& f : w.faults) {
        o.Open('{');
        o.Key("function"), o.Str(f.function);
        o.Key("code"), o.Num(f.code);
        o.Key("remaining"), o.Num(f.remaining);
        o.Close('}');
    }
    o.Close(']');
    o.Key("clock"), o.Num(w.fixedClock);
    o.Close('}');
    o.Close('}');
    o.text += '\n';
    return o.text;
}

bool ParseWorld(const std::string& text, World& out, std::vector<std::wstring>& computerFiles)
{
    try {
        json doc = json::parse(text);
        const json& body = doc.at("world");
        World w;
        std::vector<std::wstring> files;
        w.generation = doc.at("generation").get<int64_t>();
        for (const json& c : body.at("computers")) {
            bool named = c.is_string();
            files.push_back(named ? FromUtf8(c.get<std::string>()) : std::wstring());
            w.computers.push_back(named ? Computer() : ComputerFromJson(c));
        }
        if (w.computers.empty())
            return false;
        const json& s = body.at("session");
        w.session.user = W(s, "user");
        w.session.admin = N<bool>(s, "admin", true);
        w.session.elevated = N<bool>(s, "elevated", true);
        w.session.password = W(s, "password");
        w.session.tokenSids = StringListFrom(s, "tokenSids");
        if (body.contains("domains"))
            for (const json& d : body.at("domains"))
                w.domains.push_back(ComputerFromJson(d));
        if (body.contains("connections"))
            for (const json& c : body.at("connections"))
                w.connections.push_back(Connection{W(c, "owner"), W(c, "remote"), W(c, "server"),
                                                   W(c, "user"), W(c, "password")});
        if (body.contains("credentials"))
            for (const json& c : body.at("credentials"))
                w.credentials.push_back(
                    Credential{W(c, "owner"), W(c, "target"), W(c, "user"), W(c, "password")});
        w.consentAllow = N<std::string>(body, "consent", "allow") == "allow";
        w.openSucceeds = N<std::string>(body, "open", "succeed") == "succeed";
        w.opened = StringListFrom(body, "opened");
        if (body.contains("launches"))
            for (const json& l : body.at("launches"))
                w.launches.push_back(Launch{W(l, "program"), W(l, "commandLine"), W(l, "user"),
                                            W(l, "via"), N<bool>(l, "elevated", false),
                                            N<int64_t>(l, "time", 0)});
        if (body.contains("faults"))
            for (const json& f : body.at("faults"))
                w.faults.push_back(
                    Fault{W(f, "function"), N<DWORD>(f, "code", 0), N<DWORD>(f, "remaining", 1)});
        w.fixedClock = N<int64_t>(body, "clock", 0);
        out = std::move(w);
        computerFiles = std::move(files);
        return true;
    } catch (...) {
        return false;
    }
}

// The dump: the local computer's accounts at the top level, each remote computer
// in the same shape under "remotes"; SIDs and reported flags spelled out, members
// with their resolved names.
namespace {

json DumpComputer(const World& w, const Computer& c)
{
    json users = json::array(), groups = json::array(), profiles = json::array();
    std::unordered_map<std::wstring, std::vector<std::wstring>> groupsOf; // member SID -> groups
    for (const Group& g : c.groups)
        for (const std::wstring& m : g.members)
            groupsOf[Upper(m)].push_back(g.name);
    for (const User& u : c.users) {
        json j = UserToJson(u);
        std::wstring sid = c.UserSid(u);
        j["sid"] = S(sid);
        j["flags"] = ReportedFlags(c, u, w.Now());
        // The lock-out's times stay in the store; the dump shows their effect.
        j["locked"] = LockedOut(c, u, w.Now());
        j.erase("lockoutTime");
        j.erase("lastBadPassword");
        j["disabled"] = (u.flags & UF_ACCOUNTDISABLE) != 0;
        json names = json::array();
        auto it = groupsOf.find(Upper(sid));
        if (it != groupsOf.end())
            for (const std::wstring& name : it->second)
                names.push_back(S(name));
        j["groups"] = names;
        users.push_back(j);
    }
    for (const Group& g : c.groups) {
        json members = json::array();
        for (const std::wstring& m : g.members) {
            Resolved r;
            std::wstring name = m;
            if (ResolveSid(w, c, m, r))
                name = r.domain.empty() ? r.name : r.domain + L"\\" + r.name;
            members.push_back(json{{"sid", S(m)}, {"name", S(name)}});
        }
        groups.push_back(json{{"name", S(g.name)},
                              {"rid", g.rid},
                              {"sid", S(c.GroupSid(g))},
                              {"builtin", g.builtin},
                              {"comment", S(g.comment)},
                              {"members", members}});
    }
    for (const Profile& p : c.profiles)
        profiles.push_back(json{{"sid", S(p.sid)}, {"user", S(p.user)}, {"path", S(p.path)}});
    return json{{"computer", S(c.name)},
                {"sid", S(c.domainSid)},
                {"ips", StringList(c.ips)},
                {"offline", c.offline},
                {"latencyMs", c.latencyMs},
                {"tokenFilterPolicy", c.tokenFilterPolicy},
                {"restrictRemoteSam", c.restrictRemoteSam},
                {"limitBlankPasswordUse", c.limitBlankPasswordUse},
                {"firewallClosed", c.firewallClosed},
                {"connectTimeoutMs", c.connectTimeoutMs},
                {"domain", S(c.domain)},
                {"dc", S(c.dc)},
                {"nextRid", c.nextRid},
                {"policy", PolicyToJson(c.policy)},
                {"users", users},
                {"groups", groups},
                {"profiles", profiles}};
}

} // namespace

std::string DumpWorld(const World& w)
{
    json doc = DumpComputer(w, w.Local());
    json remotes = json::array();
    for (size_t i = 1; i < w.computers.size(); ++i)
        remotes.push_back(DumpComputer(w, w.computers[i]));
    json body = WorldBody(w);
    doc["remotes"] = remotes;
    json domains = json::array();
    for (const Computer& d : w.domains)
        domains.push_back(DumpComputer(w, d));
    doc["domains"] = domains;
    doc["connections"] = body["connections"];
    doc["credentials"] = body["credentials"];
    doc["session"] = body["session"];
    doc["consent"] = body["consent"];
    doc["open"] = body["open"];
    doc["opened"] = body["opened"];
    doc["launches"] = body["launches"];
    doc["faults"] = body["faults"];
    doc["clock"] = w.fixedClock;
    doc["now"] = w.Now();
    doc["generation"] = w.generation;
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace ambsim
