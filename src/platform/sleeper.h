#pragma once
// The deliberate pauses of a run. Tests replace the sleeper to see which
// pauses were taken without waiting for them.

#include <chrono>
#include <thread>

class ISleeper {
public:
    virtual ~ISleeper() = default;
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

class CThreadSleeper : public ISleeper {
public:
    void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};
