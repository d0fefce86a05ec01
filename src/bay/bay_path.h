#pragma once
// Where a Windows-form path of the product lands on the host. "E:\dir\f"
// of a bay folder drive is that drive's folder plus the components; a path
// on any other letter, or with none, is a host path used as it is.

#include <cstddef>
#include <filesystem>
#include <string>

#include "bay/bay_description.h"

// Windows without long-path support refuses a path of this many characters
// or more (MAX_PATH counts the terminating null).
constexpr size_t BAY_PATH_LIMIT = 260;

enum class BayPathKind {
    Host,      // not on a bay drive
    Drive,     // on a bay drive
    Refused,   // too long, climbing out of a drive's folder with "..", or on a drive pulled out
};

struct BayPath {
    BayPathKind kind = BayPathKind::Refused;
    const BayDrive* pDrive = nullptr;    // Drive only
    bool bDriveRoot = false;             // "E:", "E:\": no components
    std::filesystem::path hostPath;      // empty for a drive without a folder
};

BayPath ResolveBayPath(const BayDescription& description, const std::wstring& strPath);
