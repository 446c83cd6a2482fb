#pragma once
// The target computers of "/computer:LIST" and the running of one job on
// several of them at once.
#include "ambcmd.h"
#include "textformat.h"

#include "../report/accountreport.h"

// Longest computer name, DNS name or address (the remote dialog's limit).
constexpr size_t ComputerNameChars = 64;

// The computers named on the command line, in the order given.
struct ComputerList
{
    wchar_t** names = nullptr; // each a block of ComputerNameChars
    size_t count = 0;
};

// Reads LIST, the text after "/computer:": "NAME[,NAME...]" or "@FILE".
// Prints the reason and returns false when the list is empty, a name is not
// one a computer can have, or the file cannot be read.
bool ReadComputerList(const wchar_t* list, ComputerList* computers);
void FreeComputerList(ComputerList* computers);

// One computer's run on a worker thread: what it printed and how it ended.
struct ComputerRun
{
    const wchar_t* name = nullptr;
    TextBuffer output;
    int exitCode = ExitSuccess;
    DWORD status = 0; // the platform's answer, where the job keeps one
    ReportRows rows;  // report rows, where the job gathers them
    HANDLE done = nullptr;
    bool notRun = false; // left out after logon failures elsewhere ("/as:")
};

// Runs work on every computer, at most MaxParallelComputers at a time, each on
// a thread of its own with that computer as its target and its output gathered
// in run.output. With a connection account ("/as:"), each computer is
// connected to before its work and the connection cancelled after it; when
// the logon fails (1326, 1909) on two computers before it has succeeded on
// any, the remaining ones are not tried (notRun), so that a mistyped password
// does not lock the account out everywhere. finished is called on the calling thread for each computer
// in the order given, as soon as that computer and those before it are done.
constexpr size_t MaxParallelComputers = 8;
typedef void (*ComputerWork)(ComputerRun& run, const void* job);
typedef void (*ComputerFinished)(ComputerRun& run, const void* job);
void RunOnComputers(ComputerRun* runs, size_t count, ComputerWork work, ComputerFinished finished,
                    const void* job);
// Prepares one run per computer of the list; FreeComputerRuns releases them.
ComputerRun* NewComputerRuns(const ComputerList& computers);
void FreeComputerRuns(ComputerRun* runs, size_t count);

// The line that heads the output of a run on one named computer.
void PrintTargetLine(const wchar_t* name);
// Runs a job on this computer (an empty list) or on the one computer of the
// list, after the line that names it, as the calling thread's target (and
// under the connection account, when there is one). Returns what the job
// returns, or 1 when the connection failed.
typedef int (*JobOnTarget)(const void* job);
int RunOnOneTarget(const ComputerList& computers, JobOnTarget run, const void* job);
// "[NAME]" and the computer's gathered output.
void PrintComputerBlock(const ComputerRun& run);
// How many computers succeeded, failed and were not run, the names that
// failed and why the others were not run. Returns the exit code of the whole
// run: 0 when all succeeded, else 1.
int PrintComputerSummary(const ComputerRun* runs, size_t count, FILE* stream);
