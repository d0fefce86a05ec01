#pragma once
// Every fixed pause of a run, in one place. The defaults are the product's;
// tests shorten them, the product never does.

#include <chrono>

struct RunTiming {
    // Between two looks of the supervisor at its workers.
    std::chrono::milliseconds m_supervisorPoll{500};
    // Between a slot's bar reaching 100 and its "OK".
    std::chrono::milliseconds m_resultPause{500};
    // After the engines are reset, before the dialog turns idle.
    std::chrono::milliseconds m_idlePause{500};
    // Polls of the sector copy engine, and between tries of its reset.
    std::chrono::milliseconds m_sectorPoll{100};
    // Opening and locking a volume for a raw copy.
    int m_nVolumeAttempts = 5;
    std::chrono::milliseconds m_volumeRetryPause{5000};
};
