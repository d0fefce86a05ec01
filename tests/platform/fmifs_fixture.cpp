// Stands in for the system's fmifs.dll, which Wine lacks. Built as fmifs.dll
// beside the test, which hands its full path to the formatter.

#include "platform/fmifs_fixture.h"

#include <string>

namespace {

using PFMIFSCALLBACK = BOOLEAN(WINAPI*)(int Command, DWORD SubAction, PVOID ActionInfo);

FmifsFixtureStep g_steps[FMIFS_FIXTURE_MAX_STEPS];
DWORD g_nSteps = 0;
DWORD g_nNextStep = 0;
DWORD g_nDepth = 0;
DWORD g_dwTestThreadId = 0;
FmifsFixtureRecord g_record;
std::wstring g_strDriveRoot;
std::wstring g_strFormat;
std::wstring g_strLabel;

// The system's FormatEx may write to its strings. This one does, after
// reading them, so that a caller who hands over its own strings finds them
// changed.
void Scribble(PWCHAR pszText)
{
    for (; pszText != nullptr && *pszText != L'\0'; ++pszText)
        *pszText = L'#';
}

std::wstring Copy(PCWSTR pszText)
{
    return pszText != nullptr ? std::wstring(pszText) : std::wstring();
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI FmifsFixtureSetScript(const FmifsFixtureStep* pSteps, DWORD nSteps)
{
    if (nSteps > FMIFS_FIXTURE_MAX_STEPS)
        return FALSE;
    for (DWORD i = 0; i < nSteps; ++i)
        g_steps[i] = pSteps[i];
    g_nSteps = nSteps;
    g_nNextStep = 0;
    g_nDepth = 0;
    g_dwTestThreadId = ::GetCurrentThreadId();
    g_record = FmifsFixtureRecord{};
    g_strDriveRoot.clear();
    g_strFormat.clear();
    g_strLabel.clear();
    return TRUE;
}

extern "C" __declspec(dllexport) const FmifsFixtureRecord* WINAPI FmifsFixtureGetRecord()
{
    return &g_record;
}

extern "C" __declspec(dllexport) VOID WINAPI FormatEx(PWCHAR DriveRoot, DWORD MediaFlag, PWCHAR Format, PWCHAR Label,
                                                      BOOL QuickFormat, DWORD ClusterSize, PFMIFSCALLBACK Callback)
{
    const DWORD nDepth = ++g_nDepth;
    ++g_record.nFormatExCalls;
    if (nDepth == 1) {
        g_strDriveRoot = Copy(DriveRoot);
        g_strFormat = Copy(Format);
        g_strLabel = Copy(Label);
        g_record.pszDriveRoot = g_strDriveRoot.c_str();
        g_record.nMediaFlag = MediaFlag;
        g_record.pszFormat = g_strFormat.c_str();
        g_record.pszLabel = g_strLabel.c_str();
        g_record.bQuickFormat = QuickFormat;
        g_record.nClusterSize = ClusterSize;
        g_record.bCallbackGiven = Callback != nullptr;
    }
    Scribble(DriveRoot);
    Scribble(Format);
    Scribble(Label);

    // The steps of this depth, up to the first of another depth: a nested
    // call takes the steps marked for it and hands the rest back.
    while (Callback != nullptr && g_nNextStep < g_nSteps && g_steps[g_nNextStep].nDepth == nDepth) {
        const FmifsFixtureStep step = g_steps[g_nNextStep++];
        DWORD dwValue = step.nValue;
        BOOLEAN bValue = static_cast<BOOLEAN>(step.nValue);
        PVOID pActionInfo = step.nCommand == FMIFS_FIXTURE_DONE ? static_cast<PVOID>(&bValue)
                                                                 : static_cast<PVOID>(&dwValue);
        const DWORD i = g_record.nCallbacksMade++;
        g_record.abOnTestThread[i] = ::GetCurrentThreadId() == g_dwTestThreadId;
        const BOOLEAN bGoOn = Callback(step.nCommand, step.nSubAction, pActionInfo);
        g_record.abReturned[i] = bGoOn;
        if (!bGoOn)
            break;
    }
    --g_nDepth;
}
