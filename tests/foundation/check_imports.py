#!/usr/bin/env python3
"""Import tables of the built programs: release binaries use only the system
DLLs and Ambcore.dll; sim binaries take the account functions from AmbSim.dll."""
import re
import subprocess
import sys

objdump, bin_dir, sim_dir = sys.argv[1:4]
SYSTEM = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'shell32.dll',
          'comctl32.dll', 'uxtheme.dll', 'netapi32.dll', 'userenv.dll', 'msvcrt.dll', 'bcrypt.dll',
          'version.dll', 'ole32.dll', 'oleaut32.dll', 'comdlg32.dll', 'shlwapi.dll',
          'crypt32.dll', 'mpr.dll'}
RUNTIME = re.compile(r'lib(gcc|stdc\+\+|winpthread)', re.I)
failures = []


def imports(path):
    out = subprocess.run([objdump, '-p', path], check=True, capture_output=True, text=True).stdout
    table, current = {}, None
    for line in out.splitlines():
        m = re.match(r'\s*DLL Name: (\S+)', line)
        if m:
            current = m.group(1).lower()
            table[current] = set()
            continue
        m = re.match(r'\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)\s*$', line)
        if current and m:
            table[current].add('#%d' % int(m.group(1), 16))
            continue
        m = re.match(r'\s+[0-9a-f]+\s+[0-9a-f]+\s+(\S+)\s*$', line)
        if current and m:
            table[current].add(m.group(1))
    return table


def check(cond, message):
    if not cond:
        failures.append(message)


for name, uses_core in (('Ambgui.exe', True), ('Ambcmd.exe', False), ('Amblift.exe', True)):
    release = imports(f'{bin_dir}/{name}')
    for dll in release:
        check(dll in SYSTEM or dll == 'ambcore.dll', f'{name}: release imports {dll}')
        check(not RUNTIME.search(dll), f'{name}: release needs runtime DLL {dll}')
    check('ambsim.dll' not in release, f'{name}: release imports AmbSim.dll')
    if uses_core is not None:
        check(('ambcore.dll' in release) == uses_core, f'{name}: Ambcore.dll import is wrong')

    sim = imports(f'{sim_dir}/{name}')
    for dll in sim:
        check(dll in SYSTEM or dll in ('ambcore.dll', 'ambsim.dll'), f'{name}: sim imports {dll}')
    net = {f for f in release.get('netapi32.dll', set())}
    # Every account function the release build takes from NETAPI32 comes from AmbSim in the sim build.
    check(not sim.get('netapi32.dll'), f'{name}: sim still imports {sorted(sim.get("netapi32.dll", []))} from netapi32')
    check(net <= sim.get('ambsim.dll', set()), f'{name}: sim misses {sorted(net - sim.get("ambsim.dll", set()))}')
    # The administrator check asks the token: ADVAPI32's in the release build, the stand-in's in the sim.
    for fn in {'OpenProcessToken', 'GetTokenInformation', 'CheckTokenMembership'} & release.get('advapi32.dll', set()):
        check(fn in sim.get('ambsim.dll', set()), f'{name}: sim takes {fn} from elsewhere than AmbSim')
    # The connections to other computers (WNet*, RegGetValueW for their readiness) likewise.
    for fn in set(release.get('mpr.dll', set())) | ({'RegGetValueW'} & release.get('advapi32.dll', set())):
        check(fn in sim.get('ambsim.dll', set()), f'{name}: sim takes {fn} from elsewhere than AmbSim')
    if name == 'Ambgui.exe':
        check('CheckTokenMembership' in release.get('advapi32.dll', set()), 'Ambgui.exe: release does not import CheckTokenMembership from ADVAPI32')
    print(f'{name}: release {sorted(release)}; sim AmbSim imports {len(sim.get("ambsim.dll", []))}')

for dll in ('Ambcore.dll',):
    table = imports(f'{bin_dir}/{dll}')
    for name in table:
        check(name in SYSTEM and not RUNTIME.search(name), f'{dll}: imports {name}')

if failures:
    print('\n'.join(failures))
    sys.exit(1)
print('import tables as expected')
