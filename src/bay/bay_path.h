#pragma once
// Where a Windows-form path of the product lands on the host. "E:\dir\f"
// of a bay folder drive is that drive's folder plus the components; a path
// on any other letter, or with none, is a host path used as it is.

#include <cstddef>
#include <filesystem>
#include <string>

#include "bay/bay_description.h"

// The longest path Windows takes in its extended form ("\\?\" and a full
// path), which the product hands the system: one of this many characters
// or more is refused. MAX_PATH's 260 is no limit here.
constexpr size_t BAY_PATH_LIMIT = 32767;

enum class BayPathKind {
    Host,      // not on a bay drive
    Drive,     // on a bay drive
    Refused,   // beyond the extended form's length, climbing out of a drive's folder with "..", or on a drive pulled out
};

struct BayPath {
    BayPathKind kind = BayPathKind::Refused;
    const BayDrive* pDrive = nullptr;    // Drive only
    bool bDriveRoot = false;             // "E:", "E:\": no components
    std::filesystem::path hostPath;      // empty for a drive without a folder
};

BayPath ResolveBayPath(const BayDescription& description, const std::wstring& strPath);
