// Format with FAT32 of 22 sticks of 64 GiB through the real supervisor and
// our own FAT32 formatter, over sparse image drives of the bay in memory,
// each throttled to the same write speed.
//
// A quick format writes only the reserved sectors, both FATs and the root
// directory's cluster (about 16 MiB on a 64 GiB stick), so each drive's
// format is bounded by its write speed for those bytes, and 22 drives in
// parallel should take no longer than one. Efficiency = that ideal time
// (the bytes one drive got over its speed) over the measured time. The bytes
// are measured: what the sparse images hold after the run.
//
//   fat32_format_bench [--smoke] [--drives N] [--size BYTES] [--speed B/s] [--keep FOLDER]

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "bench_run.h"
#include "engine/drive_slot_table.h"

namespace {

struct BenchOptions {
    int nDrives = 22;
    uint64_t nSize = 64ull << 30;
    uint64_t nSpeed = 20'000'000;
    std::filesystem::path keep;
};

bool ReadOptions(int argc, char** argv, BenchOptions& options)
{
    const bool bRead = ReadBenchOptions(argc, argv,
                                        {{"--smoke", false,
                                          [&](const char*) {
                                              options.nDrives = 3;
                                              options.nSize = 33ull << 30;
                                              options.nSpeed = 0;
                                          }},
                                         {"--drives", true, SetNumber(options.nDrives)},
                                         {"--size", true, SetNumber(options.nSize)},
                                         {"--speed", true, SetNumber(options.nSpeed)},
                                         {"--keep", true, SetPath(options.keep)}});
    // Our formatter takes only what FormatEx refuses.
    return bRead && options.nDrives >= 1 && options.nDrives <= MAX_DRIVE_SLOTS && options.nSize > (32ull << 30);
}

std::filesystem::path ImageOf(const std::filesystem::path& root, int i)
{
    return root / ("stick-" + std::to_string(i) + ".img");
}

std::string LayOutBay(const std::filesystem::path& root, const BenchOptions& options)
{
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string strText;
    for (int i = 0; i < options.nDrives; ++i) {
        { std::ofstream create(ImageOf(root, i), std::ios::binary); }
        std::filesystem::resize_file(ImageOf(root, i), options.nSize);
        strText += std::string("[") + static_cast<char>('D' + i) + ":]\nimage = " + ImageOf(root, i).filename().string()
            + "\nsize = " + std::to_string(options.nSize) + "\n"
            + (options.nSpeed != 0 ? "speed = " + std::to_string(options.nSpeed) + "\n" : std::string());
    }
    return strText;
}

// What a sparse image holds: the blocks the format's writes took.
uint64_t StoredBytes(const std::filesystem::path& image)
{
    struct stat info {};
    return ::stat(image.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_blocks) * 512 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: fat32_format_bench [--smoke] [--drives N] [--size BYTES above 32 GiB]"
                             " [--speed B/s] [--keep FOLDER]\n");
        return 2;
    }
    const std::filesystem::path root =
        options.keep.empty() ? BenchScratchFolder("corvantis-fat32-format-bench") : options.keep;
    CBenchRun bench;
    if (!bench.UseBay(LayOutBay(root, options), root))
        return 1;
    const BenchRunResult run = bench.Run(TASK_FORMAT, std::wstring(), false, L"FAT32", L"BENCH");
    const bool bAllOk = run.nOk == options.nDrives;
    uint64_t nMost = 0;
    uint64_t nLeast = UINT64_MAX;
    for (int i = 0; i < options.nDrives; ++i) {
        const uint64_t nStored = StoredBytes(ImageOf(root, i));
        nMost = std::max(nMost, nStored);
        nLeast = std::min(nLeast, nStored);
    }
    if (options.keep.empty())
        std::filesystem::remove_all(root);

    const double dIdeal =
        options.nSpeed != 0 ? static_cast<double>(nMost) / static_cast<double>(options.nSpeed) : 0.0;
    std::printf("fat32 format: %d drives of %.0f GiB, %d OK, ideal %.2f s\n", options.nDrives,
                static_cast<double>(options.nSize) / (1ull << 30), run.nOk, dIdeal);
    std::printf("fat32 format: %.2f s for %d drives, %llu to %llu bytes written per drive, efficiency %.3f%s\n",
                run.dSeconds, options.nDrives, static_cast<unsigned long long>(nLeast),
                static_cast<unsigned long long>(nMost), dIdeal > 0.0 ? dIdeal / run.dSeconds : 0.0,
                bAllOk ? "" : "; SOME DRIVES FAILED");
    return bAllOk ? 0 : 1;
}
