#pragma once
// How a run starts its threads: the supervisor, its workers and the sector
// copy's reader. Starting a thread can fail (no memory, no thread left);
// tests put a launcher in its place that fails when they choose, to see the
// run end whatever fails.

#include <functional>
#include <thread>
#include <utility>

using ThreadLauncher = std::function<std::thread(std::function<void()>)>;

inline std::thread LaunchThread(std::function<void()> body)
{
    return std::thread(std::move(body));
}
