#pragma once
// Thread bodies and C callbacks must not let an exception out: it would end
// the process, with drives half written. Each runs its body through here and
// turns anything thrown into its documented failure.

#include <utility>

template <class TResult, class TBody>
TResult RunGuarded(TBody&& body, TResult failure) noexcept
{
    try {
        return std::forward<TBody>(body)();
    } catch (...) {
        return failure;
    }
}
