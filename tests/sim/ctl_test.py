#!/usr/bin/env python3
"""AmbSimCtl driven as the lead's `./ambrelle sim` drives it: reset, dump and
the other commands, and refusals of bad arguments."""
import json
import os
import subprocess
import sys
import tempfile

RUN = os.environ.get("WINE_RUN", "")
if not os.path.isfile(RUN):
    RUN = os.path.join(os.environ["AMB_SOURCE_DIR"], "tests", "wine-run.sh")
CTL = os.path.join(os.environ["AMB_SIM_BIN_DIR"], "AmbSimCtl.exe")
failures = []
passes = []


def ctl(world, *args):
    env = dict(os.environ, AMBRELLE_SIM_DIR=world)
    p = subprocess.run([RUN, CTL, *args], env=env, capture_output=True, timeout=120)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what)
    (passes if cond else failures).append(what)


with tempfile.TemporaryDirectory() as world:
    rc, out, _ = ctl(world, "--help")
    check(rc == 0 and "reset" in out and "fail FUNCTION CODE" in out, "--help lists the commands")

    check(ctl(world, "reset")[0] == 0, "reset")
    rc, out, _ = ctl(world, "dump")
    d = json.loads(out)
    users = {u["name"]: u for u in d["users"]}
    groups = {g["name"]: g for g in d["groups"]}
    check(d["computer"] == "AMBPC01", "default computer AMBPC01")
    check({"Administrator", "Guest", "DefaultAccount", "WDAGUtilityAccount", "kanri"} <= set(users),
          "built-in users and kanri")
    check(users["Administrator"]["rid"] == 500 and users["Administrator"]["disabled"],
          "Administrator 500 disabled")
    check(users["Guest"]["rid"] == 501 and users["Guest"]["disabled"], "Guest 501 disabled")
    check(users["kanri"]["sid"].startswith(d["sid"] + "-") and users["kanri"]["rid"] == 1000,
          "kanri 1000 in the computer's domain")
    check(groups["Administrators"]["sid"] == "S-1-5-32-544", "Administrators S-1-5-32-544")
    check([m["name"] for m in groups["Users"]["members"]][:2] ==
          ["NT AUTHORITY\\INTERACTIVE", "NT AUTHORITY\\Authenticated Users"], "Users' members")
    check("AMBPC01\\kanri" in [m["name"] for m in groups["Administrators"]["members"]],
          "kanri is an administrator")
    check(d["session"] == {"user": "kanri", "admin": True, "elevated": True, "password": "",
                           "tokenSids": []}, "session")

    steps = [
        ("user", "add", "taro", "--password", "pw", "--full-name", "山田 太郎", "--disabled"),
        ("users", "add-many", "30", "--prefix", "bulk"),
        ("group", "add", "経理", "--comment", "経理部"),
        ("group", "rename", "経理", "総務"),
        ("member", "add", "総務", "taro"),
        ("lockout", "taro"),
        ("last-logon", "taro", "2024-01-02T03:04:05"),
        ("policy", "min-length", "6"),
        ("policy", "max-age", "42"),
        ("policy", "lockout-threshold", "4", "--duration", "30", "--window", "15"),
        ("policy", "lockout-threshold", "5"),
        ("policy", "min-age", "2"),
        ("policy", "history", "8"),
        ("session", "--user", "taro", "--admin", "0", "--elevated", "0"),
        ("computer", "add", "REMOTE1", "--ip", "192.0.2.1", "--token-filter-policy", "1",
         "--restrict-remote-sam", "0", "--firewall", "closed", "--connect-timeout-ms", "50"),
        ("computer", "add", "DC1"),
        ("domain", "add", "CORP", "--dc", "DC1"),
        ("user", "add", "jiro", "--domain", "CORP", "--password", "Dom1!"),
        ("computer", "set", "REMOTE1", "--join", "CORP"),
        ("credential", "add", "REMOTE1", "--user", "REMOTE1\\Administrator", "--password", "x"),
        ("connection", "add", "\\\\192.0.2.1\\IPC$", "--user", "jiro", "--password", "y"),
        ("consent", "deny"),
        ("fail", "NetUserAdd", "5", "--nth", "2"),
        ("member", "add", "Users", "CORP\\jiro", "--computer", "REMOTE1"),
        ("user", "set", "taro", "--expires", "2100-01-02T00:00:00",
         "--logon-hours", "fe" + "ff" * 19 + "7F"),
        ("user", "set", "kanri", "--expires", "0"),
    ]
    for s in steps:
        rc, _, err = ctl(world, *s)
        check(rc == 0, " ".join(s) + (" " + err.strip() if rc else ""))
    d = json.loads(ctl(world, "dump")[1])
    users = {u["name"]: u for u in d["users"]}
    taro = users["taro"]
    check(taro["fullName"] == "山田 太郎" and taro["disabled"] and taro["locked"], "taro's state")
    check(taro["flags"] & 0x10 and taro["flags"] & 0x2, "taro's flags show lockout and disabled")
    check(taro["lastLogon"] == 1704164645, "last logon from an ISO time")
    check("bulk00030" in users, "30 bulk users")
    check(taro["acctExpires"] == 4102531200 and taro["logonHours"] == "fe" + "ff" * 19 + "7f",
          "expiry after 2038 and logon hours set")
    check(users["kanri"]["acctExpires"] == 0, "expiry 0 kept as given")
    check("総務" in taro["groups"], "taro in the renamed group")
    check(d["policy"] == {"minLength": 6, "maxAge": 42 * 86400, "minAge": 2 * 86400,
                          "forceLogoff": 0xFFFFFFFF, "historyLength": 8, "lockoutThreshold": 5,
                          "lockoutDuration": 1800, "lockoutWindow": 900}, "policy")
    check(d["session"] == {"user": "taro", "admin": False, "elevated": False, "password": "",
                           "tokenSids": []}, "session set")
    r = d["remotes"][0]
    check(r["computer"] == "REMOTE1" and r["ips"] == ["192.0.2.1"] and r["tokenFilterPolicy"] == 1
          and not r["restrictRemoteSam"] and r["firewallClosed"] and r["connectTimeoutMs"] == 50
          and r["domain"] == "CORP", "remote computer")
    names = {g["name"]: [m["name"] for m in g["members"]] for g in r["groups"]}
    check("CORP\\Domain Admins" in names["Administrators"] and "CORP\\jiro" in names["Users"],
          "the join made Domain Admins administrators; a domain user as member")
    check(d["credentials"][0]["target"] == "REMOTE1" and d["connections"][0]["server"] == "192.0.2.1",
          "credential and connection")
    rc, out, _ = ctl(world, "connection", "list")
    check(rc == 0 and out == "\\\\192.0.2.1\\IPC$ jiro\n", "connection list")
    check(d["consent"] == "deny", "consent")
    check(d["faults"] == [{"function": "NetUserAdd", "code": 5, "remaining": 2}], "fault")
    rc, _, err = ctl(world, "member", "add", "Users", "REMOTE1\\Guest")
    users_members = [m["name"] for g in json.loads(ctl(world, "dump")[1])["groups"]
                     if g["name"] == "Users" for m in g["members"]]
    check("Guest" in {u["name"] for u in r["users"]} and rc != 0 and err.strip() != "" and
          "REMOTE1\\Guest" not in users_members, "another computer's account is unknown")
    rc, out, _ = ctl(world, "opened")
    check(rc == 0 and out == "", "opened is empty")

    for bad in [("frobnicate",), ("lockout",), ("lockout", "nobody"), ("session", "--admin", "2"),
                ("policy", "min-length", "x"), ("policy", "min-length", "6", "--window", "1"),
                ("policy", "lockout-threshold", "5", "--window", "31"),
                ("policy", "min-length", "15"), ("policy", "history", "9"),
                ("policy", "min-age", "43"), ("fail", "NetUserAdd"), ("user", "add", "a*b"),
                ("user", "set", "taro", "--logon-hours", "ff" * 20),
                ("user", "set", "taro", "--logon-hours", "ff" * 20 + "fg"),
                ("user", "set", "taro", "--expires", "2106-02-08T00:00:00"),
                ("user", "add", "taro"), ("reset", "--bogus"), ("computer", "add", "REMOTE1"),
                ("computer", "add", "X", "--admin-only"),
                ("computer", "set", "REMOTE1", "--token-filter-policy", "2"),
                ("computer", "set", "REMOTE1", "--firewall", "half"), ("domain", "add", "CORP2"),
                ("session", "--user", "NODOM\\x"), ("connection", "add", "\\\\X\\C$", "--user", "u"),
                ("consent", "maybe"), ("group", "add", "Users"), ()]:
        rc, _, err = ctl(world, *bad)
        check(rc != 0 and err.strip() != "", "refused: " + " ".join(bad))
    d = json.loads(ctl(world, "dump")[1])
    taro = [u for u in d["users"] if u["name"] == "taro"][0]
    check(d["session"]["user"] == "taro" and taro["acctExpires"] == 4102531200 and
          taro["logonHours"] == "fe" + "ff" * 19 + "7f" and
          d["policy"]["lockoutWindow"] == 900 and d["policy"]["minLength"] == 6, "refusals changed nothing")
    check(ctl(world, "user", "set", "taro", "--expires", "never")[0] == 0 and
          [u for u in json.loads(ctl(world, "dump")[1])["users"]
           if u["name"] == "taro"][0]["acctExpires"] == 0xFFFFFFFF, "expires never")

    check(ctl(world, "reset", "--computer", "OTHERPC", "--user", "boss")[0] == 0, "reset with names")
    d = json.loads(ctl(world, "dump")[1])
    check(d["computer"] == "OTHERPC" and d["session"]["user"] == "boss" and
          "boss" in {u["name"] for u in d["users"]}, "reset --computer --user")

    with open(os.path.join(world, "world.json"), "w") as f:
        f.write("{ broken")
    rc, out, err = ctl(world, "dump")
    check(rc != 0 and "1392" in err, "damaged store reported, not reset")

print(f"{len(passes)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
