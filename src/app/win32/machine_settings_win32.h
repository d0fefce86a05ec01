#pragma once
// The one machine-wide setting: whether start-up checks for a new release.

#include <cstdint>

// The stored AutoUpdate value; 0 when the key or the value cannot be read.
uint32_t IsAutoUpdateEnabled();

// 1 when stored. Fails, creating nothing, when the machine key is missing.
int SetAutoUpdate(uint32_t nValue);
