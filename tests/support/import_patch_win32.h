#pragma once
// Swaps one system function that this executable imports for a stand-in, for
// the patch's lifetime: a way to put the program's own code, unchanged, into
// a situation that only timing would otherwise bring about.

#include <windows.h>

#include <cstring>

class CImportPatch {
public:
    CImportPatch(const char* pszFunction, void* pReplacement)
    {
        auto* pBase = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
        auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress);
             imports.VirtualAddress != 0 && pDesc->Name != 0; ++pDesc) {
            auto* pName = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDesc->OriginalFirstThunk);
            auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDesc->FirstThunk);
            for (; pName->u1.AddressOfData != 0; ++pName, ++pSlot) {
                if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal))
                    continue;
                auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(pByName->Name), pszFunction) == 0) {
                    m_pSlot = &pSlot->u1.Function;
                    m_original = Write(reinterpret_cast<Slot>(pReplacement));
                    return;
                }
            }
        }
    }
    ~CImportPatch()
    {
        if (m_pSlot != nullptr)
            Write(m_original);
    }
    CImportPatch(const CImportPatch&) = delete;
    CImportPatch& operator=(const CImportPatch&) = delete;

    bool Applied() const { return m_pSlot != nullptr; }

private:
    using Slot = decltype(IMAGE_THUNK_DATA{}.u1.Function);

    Slot Write(Slot value)
    {
        DWORD dwOld = 0;
        VirtualProtect(m_pSlot, sizeof(*m_pSlot), PAGE_READWRITE, &dwOld);
        const Slot previous = *m_pSlot;
        *m_pSlot = value;
        VirtualProtect(m_pSlot, sizeof(*m_pSlot), dwOld, &dwOld);
        return previous;
    }

    Slot* m_pSlot = nullptr;
    Slot m_original = 0;
};
