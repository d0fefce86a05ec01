#include "engine/block_hash.h"

#include <new>

// Header-only in every build: the Windows build has no library of it, and
// one way for both keeps the hashes the tests see the product's own.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

XXH3_state_t* StateOf(void* pState)
{
    return static_cast<XXH3_state_t*>(pState);
}

}  // namespace

void CBlockHasher::CStateDeleter::operator()(void* pState) const noexcept
{
    XXH3_freeState(StateOf(pState));
}

CBlockHasher::CBlockHasher() : m_pState(XXH3_createState())
{
    if (!m_pState)
        throw std::bad_alloc();
    Reset();
}

CBlockHasher::~CBlockHasher() = default;

void CBlockHasher::Reset()
{
    XXH3_64bits_reset(StateOf(m_pState.get()));
}

void CBlockHasher::Update(const void* pData, size_t nBytes)
{
    XXH3_64bits_update(StateOf(m_pState.get()), pData, nBytes);
}

uint64_t CBlockHasher::Digest() const
{
    return XXH3_64bits_digest(StateOf(m_pState.get()));
}
