#pragma once
// The DLL names in an executable's import directory, read from the file on
// disk rather than from a loaded image: the loader resolves those names
// before the program's first line runs, so the file is what counts.

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class CPeImportReader {
public:
    explicit CPeImportReader(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        m_bRead = Parse();
    }

    // False with the reason in Error() when the file is no PE image this
    // reader understands; an unreadable file must not pass as one without
    // imports.
    bool IsRead() const { return m_bRead; }
    const std::string& Error() const { return m_strError; }
    const std::vector<std::string>& DllNames() const { return m_dllNames; }

private:
    template <class T>
    const T* At(size_t nOffset)
    {
        if (nOffset > m_bytes.size() || m_bytes.size() - nOffset < sizeof(T))
            return nullptr;
        return reinterpret_cast<const T*>(m_bytes.data() + nOffset);
    }

    bool Fail(const std::string& strWhy)
    {
        m_strError = strWhy;
        return false;
    }

    // The file offset of an address the loader would map; 0 for none.
    size_t FileOffset(DWORD nRva) const
    {
        for (const IMAGE_SECTION_HEADER& section : m_sections) {
            const DWORD nSize = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (nRva >= section.VirtualAddress && nRva - section.VirtualAddress < nSize)
                return section.PointerToRawData + (nRva - section.VirtualAddress);
        }
        return 0;
    }

    bool Parse()
    {
        const auto* pDos = At<IMAGE_DOS_HEADER>(0);
        if (pDos == nullptr || pDos->e_magic != IMAGE_DOS_SIGNATURE)
            return Fail("no MZ header (" + std::to_string(m_bytes.size()) + " bytes read)");
        const size_t nNt = static_cast<size_t>(pDos->e_lfanew);
        const auto* pNt = At<IMAGE_NT_HEADERS64>(nNt);
        if (pNt == nullptr || pNt->Signature != IMAGE_NT_SIGNATURE)
            return Fail("no PE header");
        if (pNt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            return Fail("not a 64-bit image");
        if (pNt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT)
            return Fail("no import directory entry");

        const size_t nSections =
            nNt + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + pNt->FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < pNt->FileHeader.NumberOfSections; ++i) {
            const auto* pSection = At<IMAGE_SECTION_HEADER>(nSections + i * sizeof(IMAGE_SECTION_HEADER));
            if (pSection == nullptr)
                return Fail("section table cut short");
            m_sections.push_back(*pSection);
        }

        const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0)
            return true;
        size_t nDescriptor = FileOffset(imports.VirtualAddress);
        if (nDescriptor == 0)
            return Fail("import directory outside every section");
        for (;; nDescriptor += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* pDescriptor = At<IMAGE_IMPORT_DESCRIPTOR>(nDescriptor);
            if (pDescriptor == nullptr)
                return Fail("import directory runs past the file");
            if (pDescriptor->Name == 0)
                return true;
            const size_t nName = FileOffset(pDescriptor->Name);
            const char* pszEnd = nName == 0 ? nullptr
                                            : static_cast<const char*>(std::memchr(m_bytes.data() + nName, '\0',
                                                                                   m_bytes.size() - nName));
            if (pszEnd == nullptr)
                return Fail("an imported DLL's name is unreadable");
            m_dllNames.emplace_back(m_bytes.data() + nName, static_cast<size_t>(pszEnd - (m_bytes.data() + nName)));
        }
    }

    std::vector<char> m_bytes;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
    std::vector<std::string> m_dllNames;
    std::string m_strError;
    bool m_bRead = false;
};
