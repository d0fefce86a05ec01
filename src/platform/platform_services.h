#pragma once
// Everything the program asks of the system, with the run's pauses, handed
// as one bundle to the application and the dialog: the system's own for the
// product, the simulated bay's for the demo build and the tests.

#include "platform/run_timing.h"

class IFolderTree;
class IOemText;
class IRawVolumes;
class IShellOpen;
class ISleeper;
class ISystemFormatter;
class ISystemMessages;
class IVolumeQueries;

struct PlatformServices {
    IVolumeQueries& m_volumes;
    IFolderTree& m_folders;
    IRawVolumes& m_rawVolumes;
    ISystemFormatter& m_formatter;
    IOemText& m_oemText;
    // The system's texts for the reasons the slots keep.
    ISystemMessages& m_messages;
    IShellOpen& m_shell;
    ISleeper& m_sleeper;
    RunTiming m_timing;
};
