#include "bay/simulated_bay.h"

#include <system_error>
#include <utility>

#include "bay/bay_folder_tree.h"
#include "bay/bay_formatter.h"
#include "bay/bay_messages.h"
#include "bay/bay_oem_text.h"
#include "bay/bay_raw_volumes.h"
#include "bay/bay_state.h"
#include "bay/bay_volume_queries.h"

CSimulatedBay::CSimulatedBay(BayDescription description)
    : m_pState(std::make_unique<CBayState>(std::move(description))),
      m_pVolumes(std::make_unique<CBayVolumeQueries>(*m_pState)),
      m_pFolders(std::make_unique<CBayFolderTree>(*m_pState)),
      m_pFormatter(std::make_unique<CBayFormatter>(*m_pState)),
      m_pRawVolumes(std::make_unique<CBayRawVolumes>(*m_pState)),
      m_pOemText(std::make_unique<CBayOemText>()), m_pMessages(std::make_unique<CBayMessages>())
{
}

CSimulatedBay::~CSimulatedBay() = default;

IVolumeQueries& CSimulatedBay::Volumes()
{
    return *m_pVolumes;
}

IFolderTree& CSimulatedBay::Folders()
{
    return *m_pFolders;
}

ISystemFormatter& CSimulatedBay::Formatter()
{
    return *m_pFormatter;
}

IRawVolumes& CSimulatedBay::RawVolumes()
{
    return *m_pRawVolumes;
}

IOemText& CSimulatedBay::OemText()
{
    return *m_pOemText;
}

ISystemMessages& CSimulatedBay::Messages()
{
    return *m_pMessages;
}

void CSimulatedBay::DeclareFileSize(const std::wstring& strPath, uint64_t nBytes)
{
    // A path the bay refuses, or on a drive without files, names no file to declare.
    const BayPath path = m_pState->Resolve(strPath);
    if (path.kind != BayPathKind::Refused && !path.hostPath.empty())
        m_pState->DeclareFileSize(path.hostPath, nBytes);
}

void CSimulatedBay::BreakListingAfter(const std::wstring& strPath, size_t nEntries)
{
    const BayPath path = m_pState->Resolve(strPath);
    if (path.kind != BayPathKind::Refused && !path.hostPath.empty())
        m_pState->BreakListingAfter(path.hostPath, nEntries);
}

void CSimulatedBay::DenyListing(const std::wstring& strPath)
{
    const BayPath path = m_pState->Resolve(strPath);
    if (path.kind != BayPathKind::Refused && !path.hostPath.empty())
        m_pState->DenyListing(path.hostPath);
}

void CSimulatedBay::Replug(wchar_t chLetter)
{
    const BayDrive* pDrive = FindBayDrive(m_pState->Description(), chLetter);
    if (pDrive == nullptr)
        return;
    PullOut(pDrive->chLetter);
    m_pState->PlugIn(pDrive->chLetter);
}

void CSimulatedBay::PullOut(wchar_t chLetter)
{
    const BayDrive* pDrive = FindBayDrive(m_pState->Description(), chLetter);
    if (pDrive == nullptr)
        return;
    const BayUnflushed lost = m_pState->PullOut(pDrive->chLetter);
    if (pDrive->backing == BayBacking::Image)
        LoseRawWrites(*pDrive, lost.rawRuns);
    // Newest first: a file goes before the folder it was copied into.
    for (auto it = lost.paths.rbegin(); it != lost.paths.rend(); ++it) {
        std::error_code ec;
        std::filesystem::remove_all(*it, ec);
        m_pState->ForgetFileSize(*it);
    }
}

void CSimulatedBay::ReplugAll()
{
    for (const BayDrive& drive : m_pState->Description().drives)
        Replug(drive.chLetter);
}

void CSimulatedBay::SetFormatterPresence(BayFormatterPresence presence)
{
    m_pState->SetFormatterPresence(presence);
}

std::vector<BayFormatCall> CSimulatedBay::FormatCalls() const
{
    return m_pState->FormatCalls();
}

uint64_t CSimulatedBay::BytesRead(wchar_t chLetter) const
{
    return m_pState->BytesRead(chLetter);
}

uint64_t CSimulatedBay::BytesWritten(wchar_t chLetter) const
{
    return m_pState->BytesWritten(chLetter);
}
