#pragma once
// "/user /list", "/group /list" and "/report": the accounts of one or several
// computers as a table, in the account report's forms, or as the report file.
#include "computers.h"

enum ListForm { ListText, ListCsv, ListTsv, ListJson };

// Reads the optional "/format:..." of a list or report at `argument` (null
// when absent). A silent switch there stands for no format. False when it is
// something else.
bool ParseListForm(const wchar_t* argument, ListForm* form);

// kinds: ReportUsers or ReportGroups. computers may be empty: the local computer.
int RunAccountList(int kinds, ListForm form, const ComputerList& computers);
// form: ListCsv or ListTsv.
int RunAccountReport(const wchar_t* path, ListForm form, const ComputerList& computers);

// Columns a text takes on the console (a full-width character takes two).
size_t DisplayWidth(const wchar_t* text, size_t length);
