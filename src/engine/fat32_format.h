#pragma once
// Our own FAT32 formatter, for the volumes the system's refuses: FormatEx
// makes no FAT32 volume above 32 GiB, yet the devices operators prepare
// sticks for (car radios, televisions, cameras, firmware updaters) read
// FAT32 only, and most sticks hold more. The volume is opened, locked and
// dismounted as the sector copy holds it, the structures are written from
// its first byte in one run (fat32_layout says which), flushed, and the
// volume closed: the system mounts the new file system on its next use.
// A quick format, as FormatEx is always asked for: no data cluster but the
// root directory's is touched.

#include <cstdint>
#include <string>

#include "engine/slot_failure.h"
#include "platform/platform_services.h"

class IProgressView;

// 1 when the drive holds the new volume, flushed. 0 with nothing written
// when the label cannot be stored (see MakeFat32Label) or the volume cannot
// be held or cannot hold FAT32; 0 when a write or the flush fails (the
// stick pulled out). The bar goes from 1 to 99 with the bytes written; the
// caller shows 100 with the result. It cannot be cancelled: a volume left
// half written would be no volume at all. On 0, *pReason (when given) says
// which step failed and why, our own refusals as the system's numbers for
// them (a label the volume cannot take, a volume too large for FAT32).
int FormatFat32Volume(const PlatformServices& services, const std::wstring& strDevice, const std::wstring& strLabel,
                      uint32_t nSerial, IProgressView* pProgressBar, SlotFailure* pReason = nullptr);
