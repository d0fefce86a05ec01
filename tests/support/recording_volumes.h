#pragma once
// Passes the volume queries on to another implementation and notes each
// question, so tests can tell what a scan asked of which drive; a test may
// also act at the moment a drive's free bytes or DOS device are asked for.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/drive_paths.h"
#include "platform/volume_queries.h"

class CRecordingVolumes : public IVolumeQueries {
public:
    explicit CRecordingVolumes(IVolumeQueries* pInner) : m_pInner(pInner) {}

    void SetInner(IVolumeQueries* pInner) { m_pInner = pInner; }

    // The questions asked of one drive, in order: "type dos bus media total".
    std::string AskedOf(wchar_t chLetter) const
    {
        std::string strAsked;
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Question& question : m_asked) {
            if (question.nDriveIndex != chLetter - L'A')
                continue;
            strAsked += (strAsked.empty() ? "" : " ") + question.strWhat;
        }
        return strAsked;
    }

    uint32_t GetLogicalDrives() override { return m_pInner->GetLogicalDrives(); }
    uint32_t GetDriveKind(int nDriveIndex) override
    {
        Note(nDriveIndex, "type");
        return m_pInner->GetDriveKind(nDriveIndex);
    }
    bool QueryDosDevicePath(int nDriveIndex, std::wstring& strDosPath) override
    {
        Note(nDriveIndex, "dos");
        if (m_onDosPathAsked)
            m_onDosPathAsked(nDriveIndex);
        return m_pInner->QueryDosDevicePath(nDriveIndex, strDosPath);
    }
    uint32_t QueryBusType(int nDriveIndex) override
    {
        Note(nDriveIndex, "bus");
        return m_pInner->QueryBusType(nDriveIndex);
    }
    uint32_t QueryMediaType(int nDriveIndex) override
    {
        Note(nDriveIndex, "media");
        return m_pInner->QueryMediaType(nDriveIndex);
    }
    uint64_t GetVolumeTotalBytes(int nDriveIndex) override
    {
        Note(nDriveIndex, "total");
        return m_pInner->GetVolumeTotalBytes(nDriveIndex);
    }
    uint64_t GetVolumeFreeBytes(int nDriveIndex) override
    {
        Note(nDriveIndex, "free");
        if (m_onFreeBytesAsked)
            m_onFreeBytesAsked(nDriveIndex);
        return m_pInner->GetVolumeFreeBytes(nDriveIndex);
    }
    bool GetFileSystemName(int nDriveIndex, std::wstring& strName) override
    {
        Note(nDriveIndex, "fs");
        return m_pInner->GetFileSystemName(nDriveIndex, strName);
    }

    struct Question {
        int nDriveIndex;
        std::string strWhat;
    };
    std::vector<Question> m_asked;
    std::function<void(int nDriveIndex)> m_onFreeBytesAsked;
    // Called before the question goes on: a volume's open asks it first.
    std::function<void(int nDriveIndex)> m_onDosPathAsked;

private:
    // A run's workers ask at once.
    void Note(int nDriveIndex, const char* pszWhat)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.push_back({nDriveIndex, pszWhat});
    }

    mutable std::mutex m_mutex;

    IVolumeQueries* m_pInner;
};
