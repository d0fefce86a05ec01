#pragma once
// The system's formatter: fmifs.dll and its FormatEx. The library is loaded
// for each format and unloaded when the returned object goes.

#include <cstdint>
#include <memory>
#include <string>

// FormatEx callback commands.
constexpr uint32_t FMIFS_PROGRESS = 0;             // data: 32-bit percentage
constexpr uint32_t FMIFS_DONE = 11;                // data: one byte, 1 for success
constexpr uint32_t FMIFS_OUTPUT = 14;              // text output
constexpr uint32_t FMIFS_STRUCTURE_PROGRESS = 15;
// Commands that tell why a format is about to end with done-with-failure;
// they carry no data of use.
constexpr uint32_t FMIFS_INSUFFICIENT_RIGHTS = 6;
constexpr uint32_t FMIFS_WRITE_PROTECTED = 7;
constexpr uint32_t FMIFS_VOLUME_IN_USE = 8;
constexpr uint32_t FMIFS_VOLUME_TOO_BIG = 19;
constexpr uint32_t FMIFS_NO_MEDIA = 20;
constexpr uint32_t FMIFS_DEVICE_NOT_READY = 24;

// FormatEx's media flag for removable media.
constexpr uint32_t FMIFS_MEDIA_REMOVABLE = 11;

// Nonzero lets the format go on; 0 stops it.
using FormatExCallbackFn = int (*)(uint32_t nCommand, uint32_t nSubAction, void* pData);

class IFormatLibrary {
public:
    // Unloads the library.
    virtual ~IFormatLibrary() = default;
    // False when the library has no FormatEx (its reason as the seam's error).
    virtual bool FindFormatEx() = 0;
    // Only after FindFormatEx succeeded. Returns when the format has ended;
    // the callback runs on the calling thread.
    virtual void FormatEx(const std::wstring& strRoot, uint32_t nMediaFlag, const std::wstring& strFileSystem,
                          const std::wstring& strLabel, int nQuickFormat, uint32_t nClusterSize,
                          FormatExCallbackFn callback) = 0;
};

class ISystemFormatter {
public:
    virtual ~ISystemFormatter() = default;
    // nullptr when the library cannot be loaded (its reason as the seam's error).
    virtual std::unique_ptr<IFormatLibrary> LoadFormatLibrary() = 0;
};
