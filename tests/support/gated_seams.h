#pragma once
// Seams that hold a run still at a point the test chooses: every file copy,
// format or opening of a raw volume waits at the gate until the test opens
// it. The waiting happens inside the system's call, as a slow stick would
// make it, not at one of the workers' check points.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/folder_tree.h"
#include "platform/raw_volumes.h"
#include "platform/system_formatter.h"

class CGate {
public:
    void Open()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bOpen = true;
        }
        m_changed.notify_all();
    }
    void Pass()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nWaiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_bOpen; });
        --m_nWaiting;
    }
    // How many callers wait at the closed gate now.
    int Waiting()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nWaiting;
    }

    // A test that ends early still lets the run it holds go, so the run can
    // end and the dialog close.
    struct COpenOnExit {
        CGate& gate;
        ~COpenOnExit() { gate.Open(); }
    };

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bOpen = false;
    int m_nWaiting = 0;
};

class CGatedFolderTree : public IFolderTree {
public:
    CGatedFolderTree(IFolderTree& inner, CGate& gate) : m_inner(inner), m_gate(gate) {}

    FolderListing ListFolder(const std::wstring& strFolder, std::vector<FolderEntry>& entries) override
    {
        return m_inner.ListFolder(strFolder, entries);
    }
    bool MakeFolder(const std::wstring& strPath) override { return m_inner.MakeFolder(strPath); }
    bool PathExists(const std::wstring& strPath) override { return m_inner.PathExists(strPath); }
    bool CopyOneFile(const std::wstring& strFrom, const std::wstring& strTo, CopyProgressRoutine routine,
                     void* pContext, const std::atomic<int32_t>* pCancel) override
    {
        m_gate.Pass();
        return m_inner.CopyOneFile(strFrom, strTo, routine, pContext, pCancel);
    }
    std::unique_ptr<IFileReader> OpenFileForReading(const std::wstring& strPath, bool bPastCache) override
    {
        return m_inner.OpenFileForReading(strPath, bPastCache);
    }
    bool FlushVolume(const std::wstring& strRoot) override { return m_inner.FlushVolume(strRoot); }

private:
    IFolderTree& m_inner;
    CGate& m_gate;
};

class CGatedRawVolumes : public IRawVolumes {
public:
    CGatedRawVolumes(IRawVolumes& inner, CGate& gate) : m_inner(inner), m_gate(gate) {}

    std::unique_ptr<IRawVolume> OpenVolume(const std::wstring& strDevice) override
    {
        m_gate.Pass();
        return m_inner.OpenVolume(strDevice);
    }

private:
    IRawVolumes& m_inner;
    CGate& m_gate;
};

class CGatedFormatter : public ISystemFormatter {
public:
    CGatedFormatter(ISystemFormatter& inner, CGate& gate) : m_inner(inner), m_gate(gate) {}

    std::unique_ptr<IFormatLibrary> LoadFormatLibrary() override
    {
        std::unique_ptr<IFormatLibrary> pInner = m_inner.LoadFormatLibrary();
        if (!pInner)
            return nullptr;
        return std::make_unique<CGatedLibrary>(std::move(pInner), m_gate);
    }

private:
    class CGatedLibrary : public IFormatLibrary {
    public:
        CGatedLibrary(std::unique_ptr<IFormatLibrary> pInner, CGate& gate) : m_pInner(std::move(pInner)), m_gate(gate) {}
        bool FindFormatEx() override { return m_pInner->FindFormatEx(); }
        void FormatEx(const std::wstring& strRoot, uint32_t nMediaFlag, const std::wstring& strFileSystem,
                      const std::wstring& strLabel, int nQuickFormat, uint32_t nClusterSize,
                      FormatExCallbackFn callback) override
        {
            m_gate.Pass();
            m_pInner->FormatEx(strRoot, nMediaFlag, strFileSystem, strLabel, nQuickFormat, nClusterSize, callback);
        }

    private:
        std::unique_ptr<IFormatLibrary> m_pInner;
        CGate& m_gate;
    };

    ISystemFormatter& m_inner;
    CGate& m_gate;
};
