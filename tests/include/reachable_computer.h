#pragma once
// The AmbSimCtl steps that add a remote computer as Windows 11 sets it up and
// make it reachable as Windows allows: its built-in Administrator (RID 500, the
// one local account remote UAC does not filter) enabled with a password, and that
// account stored as the session user's credential for the computer's name and
// each of its --ip addresses, as `cmdkey /add:NAME /user:NAME\Administrator`
// stores it (a credential is found by the server name the caller gives).
#include <string>
#include <vector>

inline std::vector<std::wstring> ReachableComputerSteps(const std::wstring& name,
                                                        const std::wstring& options = L"")
{
    const std::wstring password = L"Adm1n!pw";
    std::vector<std::wstring> steps = {
        L"computer add " + name + (options.empty() ? L"" : L" " + options),
        L"user set Administrator --enable --password " + password + L" --computer " + name,
    };
    std::vector<std::wstring> targets = {name};
    for (size_t at = options.find(L"--ip "); at != std::wstring::npos;
         at = options.find(L"--ip ", at + 5)) {
        size_t start = at + 5, end = options.find(L' ', start);
        targets.push_back(options.substr(start, end == std::wstring::npos ? end : end - start));
    }
    for (const std::wstring& target : targets)
        steps.push_back(L"credential add " + target + L" --user " + name +
                        L"\\Administrator --password " + password);
    return steps;
}

template <class World> bool AddReachableComputer(World& world, const std::wstring& name,
                                                 const std::wstring& options = L"")
{
    for (const std::wstring& step : ReachableComputerSteps(name, options))
        if (!world.Sim(step))
            return false;
    return true;
}
