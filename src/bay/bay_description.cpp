#include "bay/bay_description.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace {

struct NamedValue {
    const char* pszName;
    uint32_t nValue;
};

const NamedValue kDriveTypes[] = {
    {"unknown", DRIVE_KIND_UNKNOWN}, {"no-root", DRIVE_KIND_NO_ROOT_DIR},
    {"removable", DRIVE_KIND_REMOVABLE}, {"fixed", DRIVE_KIND_FIXED},
    {"remote", DRIVE_KIND_REMOTE}, {"cdrom", DRIVE_KIND_CDROM}, {"ramdisk", DRIVE_KIND_RAMDISK},
};

const NamedValue kBusTypes[] = {
    {"unknown", BUS_KIND_UNKNOWN}, {"scsi", BUS_KIND_SCSI}, {"ata", BUS_KIND_ATA},
    {"usb", BUS_KIND_USB}, {"sata", BUS_KIND_SATA}, {"sd", BUS_KIND_SD}, {"nvme", BUS_KIND_NVME},
};

const NamedValue kMediaTypes[] = {
    {"unknown", MEDIA_KIND_UNKNOWN}, {"removable", MEDIA_KIND_REMOVABLE}, {"fixed", MEDIA_KIND_FIXED},
    {"cd-rom", MEDIA_KIND_CD_ROM}, {"cd-r", MEDIA_KIND_CD_R}, {"cd-rw", MEDIA_KIND_CD_RW},
    {"dvd-rom", MEDIA_KIND_DVD_ROM}, {"dvd-r", MEDIA_KIND_DVD_R}, {"dvd-rw", MEDIA_KIND_DVD_RW},
};

std::string Trim(const std::string& str)
{
    const auto first = str.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const auto last = str.find_last_not_of(" \t\r");
    return str.substr(first, last - first + 1);
}

std::string ToLower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return str;
}

bool ParseUnsigned(const std::string& str, uint64_t& nValue)
{
    if (str.empty() || !std::all_of(str.begin(), str.end(), [](unsigned char ch) { return std::isdigit(ch); }))
        return false;
    nValue = 0;
    for (char ch : str) {
        const uint64_t nDigit = static_cast<uint64_t>(ch - '0');
        if (nValue > (std::numeric_limits<uint64_t>::max() - nDigit) / 10)
            return false;
        nValue = nValue * 10 + nDigit;
    }
    return true;
}

// "16G", "512M", "1000": bytes, with binary multiples.
bool ParseSize(const std::string& str, uint64_t& nBytes)
{
    if (str.empty())
        return false;
    int nShift = 0;
    std::string strDigits = str;
    switch (std::toupper(static_cast<unsigned char>(str.back()))) {
    case 'K': nShift = 10; break;
    case 'M': nShift = 20; break;
    case 'G': nShift = 30; break;
    case 'T': nShift = 40; break;
    default: break;
    }
    if (nShift != 0)
        strDigits.pop_back();
    uint64_t nValue = 0;
    if (!ParseUnsigned(strDigits, nValue))
        return false;
    if (nShift != 0 && nValue > (std::numeric_limits<uint64_t>::max() >> nShift))
        return false;
    nBytes = nValue << nShift;
    return true;
}

template <size_t N>
bool ParseNamed(const std::string& str, const NamedValue (&table)[N], uint32_t& nValue)
{
    const std::string strLower = ToLower(str);
    for (const NamedValue& entry : table) {
        if (strLower == entry.pszName) {
            nValue = entry.nValue;
            return true;
        }
    }
    uint64_t nNumber = 0;
    if (!ParseUnsigned(str, nNumber) || nNumber > std::numeric_limits<uint32_t>::max())
        return false;
    nValue = static_cast<uint32_t>(nNumber);
    return true;
}

// The description is UTF-8; labels and device paths may hold any character.
bool Utf8ToWide(const std::string& str, std::wstring& strWide)
{
    strWide.clear();
    size_t i = 0;
    while (i < str.size()) {
        const unsigned char lead = static_cast<unsigned char>(str[i]);
        uint32_t nCode = 0;
        size_t nMore = 0;
        if (lead < 0x80) { nCode = lead; }
        else if ((lead & 0xE0) == 0xC0) { nCode = lead & 0x1F; nMore = 1; }
        else if ((lead & 0xF0) == 0xE0) { nCode = lead & 0x0F; nMore = 2; }
        else if ((lead & 0xF8) == 0xF0) { nCode = lead & 0x07; nMore = 3; }
        else return false;
        for (size_t k = 1; k <= nMore; ++k) {
            if (i + k >= str.size())
                return false;
            const unsigned char next = static_cast<unsigned char>(str[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            nCode = (nCode << 6) | (next & 0x3F);
        }
        i += nMore + 1;
        if (nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
            return false;
        if (sizeof(wchar_t) == 2 && nCode > 0xFFFF) {
            nCode -= 0x10000;
            strWide.push_back(static_cast<wchar_t>(0xD800 + (nCode >> 10)));
            strWide.push_back(static_cast<wchar_t>(0xDC00 + (nCode & 0x3FF)));
        } else {
            strWide.push_back(static_cast<wchar_t>(nCode));
        }
    }
    return true;
}

class CParser {
public:
    CParser(const std::filesystem::path& baseDir, BayDescription& description)
        : m_baseDir(baseDir), m_description(description) {}

    bool ParseLine(const std::string& strRawLine, std::string& strError)
    {
        const std::string strLine = Trim(strRawLine);
        if (strLine.empty() || strLine[0] == '#' || strLine[0] == ';')
            return true;
        if (strLine.front() == '[')
            return ParseSection(strLine, strError);
        const auto nEquals = strLine.find('=');
        if (nEquals == std::string::npos) {
            strError = "expected \"key = value\" or \"[X:]\"";
            return false;
        }
        if (m_pDrive == nullptr) {
            strError = "a value before the first drive section";
            return false;
        }
        return ParseValue(ToLower(Trim(strLine.substr(0, nEquals))), Trim(strLine.substr(nEquals + 1)), strError);
    }

    bool Finish(std::string& strError)
    {
        for (BayDrive& drive : m_description.drives) {
            if (!m_freeGiven[drive.chLetter])
                drive.nFreeBytes = drive.nTotalBytes;
            if (drive.nFreeBytes > drive.nTotalBytes) {
                strError = std::string("drive ") + static_cast<char>(drive.chLetter) + ": free exceeds size";
                return false;
            }
            if (drive.strDosDevice.empty())
                drive.strDosDevice = L"\\Device\\HarddiskVolume" + std::to_wstring(drive.chLetter - L'A' + 1);
        }
        return true;
    }

private:
    bool ParseSection(const std::string& strLine, std::string& strError)
    {
        // "[E:]" or "[E]"
        std::string strName = strLine.back() == ']' ? Trim(strLine.substr(1, strLine.size() - 2)) : std::string();
        if (strName.size() == 2 && strName[1] == ':')
            strName.pop_back();
        const char chLetter = strName.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(strName[0]))) : '\0';
        if (chLetter < 'A' || chLetter > 'Z') {
            strError = "a section names one drive letter, as [E:]";
            return false;
        }
        for (const BayDrive& drive : m_description.drives) {
            if (drive.chLetter == static_cast<wchar_t>(chLetter)) {
                strError = std::string("drive ") + chLetter + ": described twice";
                return false;
            }
        }
        m_description.drives.emplace_back();
        m_pDrive = &m_description.drives.back();
        m_pDrive->chLetter = static_cast<wchar_t>(chLetter);
        return true;
    }

    bool ParseValue(const std::string& strKey, const std::string& strValue, std::string& strError)
    {
        bool bOk = true;
        if (strKey == "folder" || strKey == "image") {
            if (m_pDrive->backing != BayBacking::None) {
                strError = "a drive has one backing, a folder or an image";
                return false;
            }
            m_pDrive->backing = strKey == "folder" ? BayBacking::Folder : BayBacking::Image;
            const std::filesystem::path path = std::filesystem::u8path(strValue);
            m_pDrive->backingPath = path.is_absolute() ? path : m_baseDir / path;
            bOk = !strValue.empty();
        } else if (strKey == "type") {
            bOk = ParseNamed(strValue, kDriveTypes, m_pDrive->nDriveType);
        } else if (strKey == "bus") {
            bOk = ParseNamed(strValue, kBusTypes, m_pDrive->nBusType);
        } else if (strKey == "media") {
            bOk = ParseNamed(strValue, kMediaTypes, m_pDrive->nMediaType);
        } else if (strKey == "device") {
            bOk = Utf8ToWide(strValue, m_pDrive->strDosDevice) && !strValue.empty();
        } else if (strKey == "size") {
            bOk = ParseSize(strValue, m_pDrive->nTotalBytes);
        } else if (strKey == "free") {
            bOk = ParseSize(strValue, m_pDrive->nFreeBytes);
            m_freeGiven[m_pDrive->chLetter] = true;
        } else if (strKey == "fs") {
            bOk = Utf8ToWide(strValue, m_pDrive->strFileSystem);
        } else if (strKey == "label") {
            bOk = Utf8ToWide(strValue, m_pDrive->strLabel);
        } else {
            strError = "unknown key \"" + strKey + "\"";
            return false;
        }
        if (!bOk)
            strError = "bad value for \"" + strKey + "\": \"" + strValue + "\"";
        return bOk;
    }

    std::filesystem::path m_baseDir;
    BayDescription& m_description;
    BayDrive* m_pDrive = nullptr;
    std::map<wchar_t, bool> m_freeGiven;
};

}  // namespace

bool ParseBayDescription(const std::string& strText, const std::filesystem::path& baseDir,
                         BayDescription& description, std::string& strError)
{
    BayDescription parsed;
    CParser parser(baseDir, parsed);
    std::istringstream input(strText);
    std::string strLine;
    int nLine = 0;
    while (std::getline(input, strLine)) {
        ++nLine;
        std::string strWhat;
        if (!parser.ParseLine(strLine, strWhat)) {
            strError = "line " + std::to_string(nLine) + ": " + strWhat;
            return false;
        }
    }
    std::string strWhat;
    if (!parser.Finish(strWhat)) {
        strError = strWhat;
        return false;
    }
    description = std::move(parsed);
    return true;
}

bool LoadBayDescription(const std::filesystem::path& file, BayDescription& description, std::string& strError)
{
    std::ifstream input(file, std::ios::binary);
    if (!input) {
        strError = "cannot read " + file.u8string();
        return false;
    }
    std::ostringstream text;
    text << input.rdbuf();
    return ParseBayDescription(text.str(), file.parent_path(), description, strError);
}
