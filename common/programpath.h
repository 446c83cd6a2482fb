#pragma once
#include <windows.h>

// The program's own path as it was started: the first token of the command
// line, or the module file name when the command line is empty. Returns false
// (and an empty out) when the path does not fit.
bool GetStartedProgramPath(wchar_t* out, size_t count);

// "<drive><directory><fileName>" from the started program path: the drive
// (3 characters) and directory (256 characters, with its trailing backslash).
// A program started by a bare file name gives the bare fileName. Returns false
// (and an empty out) when a part does not fit.
bool BuildPathBesideProgram(const wchar_t* fileName, wchar_t* out, size_t count);
