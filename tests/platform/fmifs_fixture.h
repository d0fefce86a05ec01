#pragma once
// The test's fmifs.dll: a FormatEx that records how it was called and makes
// the callbacks of a script, plus two exports of its own through which the
// test sets the script and reads the record. Shared by the DLL and the test.

#include <windows.h>

constexpr DWORD FMIFS_FIXTURE_MAX_STEPS = 16;

// The callback commands the script uses (fmifs.dll's own numbers).
constexpr int FMIFS_FIXTURE_PROGRESS = 0;
constexpr int FMIFS_FIXTURE_DONE = 11;

struct FmifsFixtureStep {
    int nCommand;
    DWORD nSubAction;
    // FMIFS_FIXTURE_DONE hands it over as one byte (a BOOLEAN), every other
    // command as a DWORD, as the system's FormatEx does.
    DWORD nValue;
    // Which of nested FormatEx calls makes this callback: 1 for the outer
    // call, 2 for a call made from inside one of its callbacks.
    DWORD nDepth;
};

struct FmifsFixtureRecord {
    DWORD nFormatExCalls;
    // The outer call's arguments; the strings are the fixture's own copies,
    // valid until the script is set again.
    const wchar_t* pszDriveRoot;
    DWORD nMediaFlag;
    const wchar_t* pszFormat;
    const wchar_t* pszLabel;
    BOOL bQuickFormat;
    DWORD nClusterSize;
    BOOL bCallbackGiven;
    // Per callback made, in order. "The test's thread" is the one that set
    // the script: the thread that calls the product's FormatEx, on which the
    // system makes every callback.
    DWORD nCallbacksMade;
    BOOL abOnTestThread[FMIFS_FIXTURE_MAX_STEPS];
    BOOLEAN abReturned[FMIFS_FIXTURE_MAX_STEPS];
};

// Clears the record and sets the script; FALSE when it is too long.
using PFN_FMIFS_FIXTURE_SET_SCRIPT = BOOL(WINAPI*)(const FmifsFixtureStep* pSteps, DWORD nSteps);
using PFN_FMIFS_FIXTURE_GET_RECORD = const FmifsFixtureRecord*(WINAPI*)();

constexpr char FMIFS_FIXTURE_SET_SCRIPT_EXPORT[] = "FmifsFixtureSetScript";
constexpr char FMIFS_FIXTURE_GET_RECORD_EXPORT[] = "FmifsFixtureGetRecord";
