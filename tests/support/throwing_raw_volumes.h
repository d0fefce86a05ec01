#pragma once
// Passes raw volume opens on to another implementation, but throws for one
// drive: a failure inside the program that no result code was made for.

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/drive_paths.h"
#include "platform/raw_volumes.h"

class CThrowingRawVolumes : public IRawVolumes {
public:
    explicit CThrowingRawVolumes(wchar_t chThrowOn) : m_chThrowOn(chThrowOn) {}

    void SetInner(IRawVolumes* pInner) { m_pInner = pInner; }

    std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) override
    {
        if (DriveLetterOfPath(strDevice) == m_chThrowOn)
            throw std::runtime_error("an open that throws");
        return m_pInner->OpenVolume(strDevice);
    }

private:
    const wchar_t m_chThrowOn;
    IRawVolumes* m_pInner = nullptr;
};
