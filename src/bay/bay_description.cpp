#include "bay/bay_description.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "bay/bay_text.h"

namespace {

// A value quoted in a message is cut so that a runaway line (a pasted file,
// a missing newline) still gives a message box that can be read.
constexpr size_t BAY_QUOTE_MAX_CHARS = 60;
constexpr uint32_t BAY_FORMAT_STEP_MAX_MS = 60000;

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

// The value between quotes, cut to a readable length; bytes that are not
// UTF-8 (or are control characters) appear as \xHH so that the message
// itself is always valid UTF-8 and converts to the dialog's wide text.
std::string Quote(const std::string& str)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut = "\"";
    size_t nChars = 0;
    size_t i = 0;
    while (i < str.size()) {
        if (nChars == BAY_QUOTE_MAX_CHARS) {
            strOut += "...";
            break;
        }
        const unsigned char lead = static_cast<unsigned char>(str[i]);
        size_t nLength = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4 : 0;
        std::wstring strProbe;
        if (nLength == 0 || i + nLength > str.size() || !Utf8ToWide(str.substr(i, nLength), strProbe)
            || lead < 0x20 || lead == 0x7F) {
            strOut += "\\x";
            strOut += kHex[lead >> 4];
            strOut += kHex[lead & 0xF];
            nLength = 1;
        } else {
            strOut.append(str, i, nLength);
        }
        i += nLength;
        ++nChars;
    }
    return strOut + "\"";
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

// "video/big.iso": components under the drive's folder, either separator;
// nothing that could leave the folder.
bool ParseRelativePath(const std::string& str, std::filesystem::path& path)
{
    if (str.empty() || str[0] == '/' || str[0] == '\\' || str.find(':') != std::string::npos)
        return false;
    std::wstring strProbe;
    if (!Utf8ToWide(str, strProbe))
        return false;
    path.clear();
    std::string strPart;
    for (size_t nStart = 0; nStart <= str.size();) {
        const size_t nEnd = std::min(str.find_first_of("/\\", nStart), str.size());
        strPart = str.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (strPart == "..")
            return false;
        if (!strPart.empty() && strPart != ".")
            path /= std::filesystem::u8path(strPart);
    }
    return !path.empty();
}

bool ParseFormatScript(const std::string& str, std::vector<BayFormatStep>& script)
{
    script.clear();
    std::string strSpaced = str;
    std::replace(strSpaced.begin(), strSpaced.end(), ',', ' ');
    std::istringstream tokens(strSpaced);
    std::string strToken;
    while (tokens >> strToken) {
        strToken = ToLower(strToken);
        uint64_t nValue = 0;
        if (strToken == "structure") {
            script.push_back({BayFormatStepKind::Structure, 0});
        } else if (strToken == "text") {
            script.push_back({BayFormatStepKind::Text, 0});
        } else if (strToken == "done:1" || strToken == "done:0") {
            script.push_back({BayFormatStepKind::Done, strToken == "done:1" ? 1u : 0u});
        } else if (strToken.rfind("error:", 0) == 0 && ParseUnsigned(strToken.substr(6), nValue)
                   && nValue <= std::numeric_limits<uint32_t>::max()) {
            script.push_back({BayFormatStepKind::Error, static_cast<uint32_t>(nValue)});
        } else if (strToken.rfind("progress:", 0) == 0 && ParseUnsigned(strToken.substr(9), nValue)
                   && nValue <= std::numeric_limits<uint32_t>::max()) {
            script.push_back({BayFormatStepKind::Progress, static_cast<uint32_t>(nValue)});
        } else {
            return false;
        }
    }
    return true;
}

std::vector<BayFormatStep> DefaultFormatScript()
{
    std::vector<BayFormatStep> script;
    for (uint32_t nPercent = 0; nPercent <= 100; nPercent += 10)
        script.push_back({BayFormatStepKind::Progress, nPercent});
    for (int i = 0; i < 3; ++i)
        script.push_back({BayFormatStepKind::Structure, 0});
    script.push_back({BayFormatStepKind::Done, 1});
    return script;
}

// What the keys of one section leave for the checks at the end.
struct SectionNotes {
    int nFreeLine = 0;      // 0: free not given
    int nDeclareLine = 0;   // the first declare
    bool bFormatGiven = false;
    int nRawKeyLine = 0;    // the first key that needs an image
    std::string strRawKey;
    int nPartitionOffsetLine = 0;
};

// One key's value on one line.
struct KeyInput {
    BayDrive& drive;
    SectionNotes& notes;
    const std::filesystem::path& baseDir;
    const std::string& strKey;
    const std::string& strValue;
    int nLine;
    std::string& strError;   // left empty: "bad value for ..."
};

bool ParseBacking(KeyInput& in, BayBacking backing)
{
    if (in.drive.backing != BayBacking::None) {
        in.strError = "a drive has one backing, a folder or an image";
        return false;
    }
    // With wide paths u8path throws on malformed UTF-8; refuse it first.
    std::wstring strProbe;
    if (in.strValue.empty() || !Utf8ToWide(in.strValue, strProbe))
        return false;
    std::filesystem::path path = std::filesystem::u8path(in.strValue);
    if (!path.is_absolute())
        path = in.baseDir / path;
    std::error_code ec;
    const std::filesystem::path absolutePath = std::filesystem::absolute(path, ec);
    path = (ec ? path : absolutePath).lexically_normal();
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path())
        path = path.parent_path();

    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    const bool bFolder = backing == BayBacking::Folder;
    if (!std::filesystem::exists(status)) {
        in.strError = in.strKey + " " + Quote(in.strValue) + " does not exist";
        return false;
    }
    if (bFolder ? !std::filesystem::is_directory(status) : !std::filesystem::is_regular_file(status)) {
        in.strError = in.strKey + " " + Quote(in.strValue) + (bFolder ? " is not a folder" : " is not a file");
        return false;
    }
    in.drive.backing = backing;
    in.drive.backingPath = path;
    return true;
}

bool ParseDeclare(KeyInput& in)
{
    // "path SIZE": the path may hold spaces, the size cannot.
    const size_t nGap = in.strValue.find_last_of(" \t");
    if (nGap == std::string::npos)
        return false;
    BayDeclaredSize declared;
    if (!ParseSize(in.strValue.substr(nGap + 1), declared.nBytes)
        || !ParseRelativePath(Trim(in.strValue.substr(0, nGap)), declared.relativePath))
        return false;
    in.drive.declaredSizes.push_back(declared);
    if (in.notes.nDeclareLine == 0)
        in.notes.nDeclareLine = in.nLine;
    return true;
}

bool ParseFormatStep(KeyInput& in)
{
    uint64_t nMs = 0;
    if (!ParseUnsigned(in.strValue, nMs) || nMs > BAY_FORMAT_STEP_MAX_MS)
        return false;
    in.drive.nFormatStepMs = static_cast<uint32_t>(nMs);
    return true;
}

bool ParseOptionalSize(const std::string& str, std::optional<uint64_t>& nBytes)
{
    uint64_t nValue = 0;
    if (!ParseSize(str, nValue))
        return false;
    nBytes = nValue;
    return true;
}

// Keys of the raw volume, which only an image drive has.
bool NoteRawKey(KeyInput& in)
{
    if (in.notes.nRawKeyLine == 0) {
        in.notes.nRawKeyLine = in.nLine;
        in.notes.strRawKey = in.strKey;
    }
    return true;
}

bool ParseYesNo(const std::string& strValue, bool& bValue)
{
    const std::string strLower = ToLower(strValue);
    if (strLower != "yes" && strLower != "no")
        return false;
    bValue = strLower == "yes";
    return true;
}

bool ParseCount(KeyInput& in, uint32_t& nCount)
{
    uint64_t nValue = 0;
    if (!ParseUnsigned(in.strValue, nValue) || nValue > std::numeric_limits<uint32_t>::max())
        return false;
    nCount = static_cast<uint32_t>(nValue);
    return NoteRawKey(in);
}

bool ParseSectorSize(KeyInput& in)
{
    uint64_t nBytes = 0;
    if (!ParseUnsigned(in.strValue, nBytes) || (nBytes != 512 && nBytes != 1024 && nBytes != 2048 && nBytes != 4096))
        return false;
    in.drive.nSectorBytes = static_cast<uint32_t>(nBytes);
    return true;
}

struct KeyRow {
    const char* pszName;
    bool (*parse)(KeyInput& in);
};

const KeyRow kKeys[] = {
    {"folder", [](KeyInput& in) { return ParseBacking(in, BayBacking::Folder); }},
    {"image", [](KeyInput& in) { return ParseBacking(in, BayBacking::Image); }},
    {"type", [](KeyInput& in) { return ParseNamed(in.strValue, kDriveTypes, in.drive.nDriveType); }},
    {"bus", [](KeyInput& in) { return ParseNamed(in.strValue, kBusTypes, in.drive.nBusType); }},
    {"media", [](KeyInput& in) { return ParseNamed(in.strValue, kMediaTypes, in.drive.nMediaType); }},
    {"device", [](KeyInput& in) { return Utf8ToWide(in.strValue, in.drive.strDosDevice) && !in.strValue.empty(); }},
    {"size", [](KeyInput& in) { return ParseSize(in.strValue, in.drive.nTotalBytes); }},
    {"free", [](KeyInput& in) {
         in.notes.nFreeLine = in.nLine;
         return ParseSize(in.strValue, in.drive.nFreeBytes);
     }},
    {"fs", [](KeyInput& in) { return Utf8ToWide(in.strValue, in.drive.strFileSystem); }},
    {"label", [](KeyInput& in) { return Utf8ToWide(in.strValue, in.drive.strLabel); }},
    {"speed", [](KeyInput& in) { return ParseSize(in.strValue, in.drive.nWriteSpeed); }},
    {"fail-after", [](KeyInput& in) { return ParseOptionalSize(in.strValue, in.drive.failAfterBytes); }},
    {"remove-after", [](KeyInput& in) { return ParseOptionalSize(in.strValue, in.drive.removeAfterBytes); }},
    {"open-refusals", [](KeyInput& in) { return ParseCount(in, in.drive.nOpenRefusals); }},
    {"lock-refusals", [](KeyInput& in) { return ParseCount(in, in.drive.nLockRefusals); }},
    {"write-protected", [](KeyInput& in) { return ParseYesNo(in.strValue, in.drive.bWriteProtected); }},
    {"corrupt-after", [](KeyInput& in) { return ParseOptionalSize(in.strValue, in.drive.corruptAfterBytes); }},
    {"read-speed", [](KeyInput& in) { return ParseSize(in.strValue, in.drive.nReadSpeed); }},
    {"read-fail-after", [](KeyInput& in) { return ParseOptionalSize(in.strValue, in.drive.readFailAfterBytes); }},
    // Offsets are taken modulo the stored bytes, of which there must be some.
    {"wrap-at", [](KeyInput& in) {
         return ParseOptionalSize(in.strValue, in.drive.wrapAtBytes) && *in.drive.wrapAtBytes != 0 && NoteRawKey(in);
     }},
    {"declare", ParseDeclare},
    {"format", [](KeyInput& in) {
         in.notes.bFormatGiven = true;
         return ParseFormatScript(in.strValue, in.drive.formatScript);
     }},
    {"format-step", ParseFormatStep},
    {"sector-size", ParseSectorSize},
    {"partition-offset", [](KeyInput& in) {
         in.notes.nPartitionOffsetLine = in.nLine;
         return ParseSize(in.strValue, in.drive.nPartitionOffset) && NoteRawKey(in);
     }},
};

class CParser {
public:
    CParser(const std::filesystem::path& baseDir, BayDescription& description)
        : m_baseDir(baseDir), m_description(description) {}

    bool ParseLine(const std::string& strRawLine, int nLine, std::string& strError)
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
        if (m_description.drives.empty()) {
            strError = "a value before the first drive section";
            return false;
        }
        const std::string strKey = ToLower(Trim(strLine.substr(0, nEquals)));
        const std::string strValue = Trim(strLine.substr(nEquals + 1));
        for (const KeyRow& row : kKeys) {
            if (strKey != row.pszName)
                continue;
            KeyInput in{m_description.drives.back(), m_notes.back(), m_baseDir, strKey, strValue, nLine, strError};
            if (row.parse(in))
                return true;
            if (strError.empty())
                strError = "bad value for \"" + strKey + "\": " + Quote(strValue);
            return false;
        }
        strError = "unknown key " + Quote(strKey);
        return false;
    }

    // Checks that need the whole section; the message names its own line.
    bool Finish(std::string& strError)
    {
        for (size_t i = 0; i < m_description.drives.size(); ++i) {
            BayDrive& drive = m_description.drives[i];
            const SectionNotes& notes = m_notes[i];
            const std::string strDrive = std::string("drive ") + static_cast<char>(drive.chLetter) + ":";
            if (notes.nFreeLine == 0)
                drive.nFreeBytes = drive.nTotalBytes;
            if (drive.nFreeBytes > drive.nTotalBytes) {
                strError = "line " + std::to_string(notes.nFreeLine) + ": " + strDrive + " free exceeds size";
                return false;
            }
            if (notes.nDeclareLine != 0 && drive.backing != BayBacking::Folder) {
                strError = "line " + std::to_string(notes.nDeclareLine) + ": " + strDrive
                           + " declares a file size but has no folder";
                return false;
            }
            if (notes.nRawKeyLine != 0 && drive.backing != BayBacking::Image) {
                strError = "line " + std::to_string(notes.nRawKeyLine) + ": " + strDrive + " sets "
                           + notes.strRawKey + " but has no image";
                return false;
            }
            // Checked here: the sector size may come after it.
            if (drive.nPartitionOffset % drive.nSectorBytes != 0) {
                strError = "line " + std::to_string(notes.nPartitionOffsetLine) + ": " + strDrive
                           + " partition-offset is not whole sectors";
                return false;
            }
            if (!notes.bFormatGiven)
                drive.formatScript = DefaultFormatScript();
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
        if (FindBayDrive(m_description, static_cast<wchar_t>(chLetter)) != nullptr) {
            strError = std::string("drive ") + chLetter + ": described twice";
            return false;
        }
        m_description.drives.emplace_back();
        m_description.drives.back().chLetter = static_cast<wchar_t>(chLetter);
        m_notes.emplace_back();
        return true;
    }

    std::filesystem::path m_baseDir;
    BayDescription& m_description;
    std::vector<SectionNotes> m_notes;   // one per drive
};

}  // namespace

const BayDrive* FindBayDrive(const BayDescription& description, wchar_t chLetter)
{
    if (chLetter >= L'a' && chLetter <= L'z')
        chLetter = static_cast<wchar_t>(chLetter - L'a' + L'A');
    for (const BayDrive& drive : description.drives) {
        if (drive.chLetter == chLetter)
            return &drive;
    }
    return nullptr;
}

bool ParseBayDescription(const std::string& strText, const std::filesystem::path& baseDir,
                         BayDescription& description, std::string& strError)
{
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    BayDescription parsed;
    CParser parser(baseDir, parsed);
    std::istringstream input(strText.rfind(kByteOrderMark, 0) == 0 ? strText.substr(3) : strText);
    std::string strLine;
    int nLine = 0;
    while (std::getline(input, strLine)) {
        ++nLine;
        std::string strWhat;
        if (!parser.ParseLine(strLine, nLine, strWhat)) {
            strError = "line " + std::to_string(nLine) + ": " + strWhat;
            return false;
        }
    }
    if (!parser.Finish(strError))
        return false;
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
