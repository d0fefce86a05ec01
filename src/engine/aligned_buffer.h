#pragma once
// Memory for raw volume transfers. A volume handle bypasses the system's
// cache on Microsoft's file systems, so a transfer's buffer must start on a
// sector boundary; 4096 bytes covers every sector size in use (512-byte and
// 4K-native drives alike). Written here rather than taken from the C
// library: the Windows runtime has no aligned_alloc.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

constexpr size_t RAW_BUFFER_ALIGNMENT = 4096;

class CAlignedBuffer {
public:
    // Zero-filled; false, and the buffer empty, when the memory cannot be had.
    bool Allocate(size_t nBytes)
    {
        Release();
        if (nBytes == 0)
            return true;
        auto* pData = static_cast<uint8_t*>(
            ::operator new(nBytes, std::align_val_t(RAW_BUFFER_ALIGNMENT), std::nothrow));
        if (pData == nullptr)
            return false;
        std::fill(pData, pData + nBytes, uint8_t{0});
        m_pData.reset(pData);
        m_nSize = nBytes;
        return true;
    }
    void Release()
    {
        m_pData.reset();
        m_nSize = 0;
    }

    uint8_t* data() { return m_pData.get(); }
    const uint8_t* data() const { return m_pData.get(); }
    size_t size() const { return m_nSize; }

private:
    struct CDeleter {
        void operator()(uint8_t* p) const noexcept { ::operator delete(p, std::align_val_t(RAW_BUFFER_ALIGNMENT)); }
    };
    std::unique_ptr<uint8_t, CDeleter> m_pData;
    size_t m_nSize = 0;
};
