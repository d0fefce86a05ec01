#pragma once
// Volumes opened raw through "\\.\X:", locked and dismounted with the file
// system controls, read and written synchronously.

#include "platform/raw_volumes.h"

class CWin32RawVolumes : public IRawVolumes {
public:
    std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) override;
};
