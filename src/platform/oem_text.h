#pragma once
// Text as a FAT volume stores it: a label lives on the drive in the OEM code
// page, in upper case, and devices that read FAT know no other encoding.

#include <string>

class IOemText {
public:
    virtual ~IOemText() = default;
    // The text upper-cased and in the OEM code page; false when a character
    // has no form there (the system would put a stand-in character in its
    // place, and a label is not to be guessed).
    virtual bool ToOemUpperCase(const std::wstring& strText, std::string& strOem) = 0;
};
