#pragma once
// A fresh simulated world per test, and the import run from bytes as a user
// of the core would run it.
#include <windows.h>

#include <string>

#include "accountimport.h"
#include "core_world.h"

// The tests' world: a fresh folder per test, AmbSimCtl, the whole document.
using ImportWorld = CoreWorld;

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// Reads `bytes` and plans it against the local computer; the table is kept
// for the caller whatever the outcome (free with FreeImportTable).
struct ImportRun
{
    ImportTable* table = nullptr;
    DWORD read = 0;
    DWORD plan = 0;
    ~ImportRun()
    {
        FreeImportTable(table);
    }
    // Every problem as "line: text" lines.
    std::wstring Problems() const;
};
void ReadAndPlan(ImportRun& run, const std::string& bytes, bool exact = false);
