#pragma once
// The 64-bit XXH3 of bytes fed in pieces. The read-back check of a sector
// copy keeps one per MiB of the source and compares what each drive gives
// back with it. xxHash (Debian's libxxhash-dev) rather than a hash of our
// own: it keeps up with any drive, and it is one everyone has tested.

#include <cstddef>
#include <cstdint>
#include <memory>

class CBlockHasher {
public:
    CBlockHasher();
    ~CBlockHasher();
    CBlockHasher(const CBlockHasher&) = delete;
    CBlockHasher& operator=(const CBlockHasher&) = delete;

    // Starts a new block.
    void Reset();
    void Update(const void* pData, size_t nBytes);
    // The hash of everything fed since the last Reset.
    uint64_t Digest() const;

private:
    // xxHash's own state (XXH3_state_t, which it wants aligned and makes
    // itself); untyped here so that xxhash.h stays inside one file.
    struct CStateDeleter {
        void operator()(void* pState) const noexcept;
    };
    std::unique_ptr<void, CStateDeleter> m_pState;
};
