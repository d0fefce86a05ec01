#pragma once
// The demo build's platform services over a bay described by text, with the
// run's pauses shortened, for the Wine tests of the real dialog.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "bay/simulated_bay.h"
#include "platform/platform_services.h"
#include "platform/shell_open.h"
#include "platform/sleeper.h"
#include "platform/win32/oem_text_win32.h"

class CBayServices {
public:
    explicit CBayServices(const std::string& strBayText = std::string(),
                          const std::filesystem::path& baseDir = std::filesystem::path(L"C:\\bay"))
    {
        BayDescription description;
        std::string strError;
        EXPECT_TRUE(ParseBayDescription(strBayText, baseDir, description, strError)) << strError;
        m_pBay = std::make_unique<CSimulatedBay>(std::move(description));
        m_timing.m_supervisorPoll = std::chrono::milliseconds(20);
        m_timing.m_resultPause = std::chrono::milliseconds(20);
        m_timing.m_idlePause = std::chrono::milliseconds(20);
    }

    CSimulatedBay& Bay() { return *m_pBay; }

    // The bay's own seams unless a test puts one of its own in front.
    PlatformServices Services(IShellOpen& shell, IVolumeQueries* pVolumes = nullptr, IFolderTree* pFolders = nullptr,
                              ISystemFormatter* pFormatter = nullptr, IRawVolumes* pRawVolumes = nullptr)
    {
        return PlatformServices{pVolumes != nullptr ? *pVolumes : m_pBay->Volumes(),
                                pFolders != nullptr ? *pFolders : m_pBay->Folders(),
                                pRawVolumes != nullptr ? *pRawVolumes : m_pBay->RawVolumes(),
                                pFormatter != nullptr ? *pFormatter : m_pBay->Formatter(),
                                m_oemText,
                                m_pBay->Messages(),
                                shell,
                                m_sleeper,
                                m_timing};
    }

    RunTiming m_timing;

private:
    std::unique_ptr<CSimulatedBay> m_pBay;
    CThreadSleeper m_sleeper;
    // The system's conversion, as the demo build has it.
    CWin32OemText m_oemText;
};
