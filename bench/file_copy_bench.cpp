// File Copy of one tree onto many throttled drives of the bay, through the
// real supervisor, drivers and engine. The figure is the parallel
// efficiency: the ideal time (tree size over the slowest drive's speed)
// over the measured time of the run.
//
//   file_copy_bench [--smoke] [--drives N] [--speed BYTES_PER_SECOND]
//                   [--slow-speed BYTES_PER_SECOND] [--small-files N]
//                   [--small-size BYTES] [--large-files N] [--large-size BYTES]
//                   [--keep FOLDER]
//
// --slow-speed makes the last drive slower than the others; --keep leaves the
// source tree and the drives' folders in FOLDER. Otherwise they go to a
// folder in memory (/dev/shm where there is one, else the temporary folder)
// that is removed afterwards: the drives' speeds, not the host's disk, are
// to set the pace.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_run.h"

namespace {

struct BenchOptions {
    int nDrives = 22;
    uint64_t nSpeed = 10'000'000;
    uint64_t nSlowSpeed = 0;
    int nSmallFiles = 400;
    uint64_t nSmallSize = 16 * 1024;
    int nLargeFiles = 4;
    uint64_t nLargeSize = 8 * 1024 * 1024;
    std::filesystem::path keep;
};

bool ReadOptions(int argc, char** argv, BenchOptions& options)
{
    const bool bRead = ReadBenchOptions(
        argc, argv,
        {{"--smoke", false,
          [&](const char*) {
              options.nDrives = 2;
              options.nSpeed = 0;
              options.nSmallFiles = 8;
              options.nSmallSize = 1000;
              options.nLargeFiles = 1;
              options.nLargeSize = 300000;
          }},
         {"--drives", true, SetNumber(options.nDrives)},
         {"--speed", true, SetNumber(options.nSpeed)},
         {"--slow-speed", true, SetNumber(options.nSlowSpeed)},
         {"--small-files", true, SetNumber(options.nSmallFiles)},
         {"--small-size", true, SetNumber(options.nSmallSize)},
         {"--large-files", true, SetNumber(options.nLargeFiles)},
         {"--large-size", true, SetNumber(options.nLargeSize)},
         {"--keep", true, SetPath(options.keep)}});
    return bRead && options.nDrives >= 1 && options.nDrives <= MAX_DRIVE_SLOTS;
}

void WriteFileOfSize(const std::filesystem::path& file, uint64_t nBytes, char chFill)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const std::string strBlock(64 * 1024, chFill);
    for (uint64_t nLeft = nBytes; nLeft > 0;) {
        const uint64_t nChunk = nLeft < strBlock.size() ? nLeft : strBlock.size();
        out.write(strBlock.data(), static_cast<std::streamsize>(nChunk));
        nLeft -= nChunk;
    }
}

// Many small files in a few folders, and a few large ones at the top.
uint64_t MakeSourceTree(const std::filesystem::path& source, const BenchOptions& options)
{
    uint64_t nTotal = 0;
    for (int i = 0; i < options.nSmallFiles; ++i) {
        WriteFileOfSize(source / ("folder" + std::to_string(i % 10)) / ("small" + std::to_string(i) + ".dat"),
                        options.nSmallSize, static_cast<char>('a' + i % 26));
        nTotal += options.nSmallSize;
    }
    for (int i = 0; i < options.nLargeFiles; ++i) {
        WriteFileOfSize(source / ("large" + std::to_string(i) + ".bin"), options.nLargeSize,
                        static_cast<char>('A' + i % 26));
        nTotal += options.nLargeSize;
    }
    return nTotal;
}

std::string BayText(const BenchOptions& options, uint64_t nTotal)
{
    std::string strText;
    const uint64_t nSize = nTotal * 2 + (64ull << 20);
    for (int i = 0; i < options.nDrives; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        const bool bSlow = options.nSlowSpeed != 0 && i == options.nDrives - 1;
        const uint64_t nSpeed = bSlow ? options.nSlowSpeed : options.nSpeed;
        strText += std::string("[") + chLetter + ":]\nfolder = drive-" + chLetter + "\nsize = "
            + std::to_string(nSize) + "\nfs = NTFS\n";
        if (nSpeed != 0)
            strText += "speed = " + std::to_string(nSpeed) + "\n";
    }
    return strText;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: file_copy_bench [--smoke] [--drives 1..22] [--speed B/s] [--slow-speed B/s]\n"
                             "       [--small-files N] [--small-size B] [--large-files N] [--large-size B]"
                             " [--keep FOLDER]\n");
        return 2;
    }
    const bool bKeep = !options.keep.empty();
    const std::filesystem::path root = bKeep ? options.keep : BenchScratchFolder("corvantis-file-copy-bench");
    std::filesystem::remove_all(root);
    const uint64_t nTotal = MakeSourceTree(root / "source", options);
    for (int i = 0; i < options.nDrives; ++i)
        std::filesystem::create_directories(root / (std::string("drive-") + static_cast<char>('E' + i)));

    CBenchRun bench;
    if (!bench.UseBay(BayText(options, nTotal), root))
        return 1;
    const BenchRunResult result = bench.Run(TASK_FILE_COPY, (root / "source").wstring());
    if (!bKeep)
        std::filesystem::remove_all(root);

    const uint64_t nSlowest = options.nSlowSpeed != 0 ? options.nSlowSpeed : options.nSpeed;
    std::printf("file copy: %d of %d drives OK, tree %.1f MB (%d files), ", result.nOk, result.nSlots,
                static_cast<double>(nTotal) / 1e6, options.nSmallFiles + options.nLargeFiles);
    if (nSlowest == 0) {
        std::printf("drives unthrottled: measured %.2f s\n", result.dSeconds);
    } else {
        const double dIdeal = static_cast<double>(nTotal) / static_cast<double>(nSlowest);
        std::printf("drives at %.1f MB/s%s: ideal %.2f s, measured %.2f s, parallel efficiency %.3f\n",
                    static_cast<double>(options.nSpeed) / 1e6, options.nSlowSpeed != 0 ? " (one slower)" : "", dIdeal,
                    result.dSeconds, dIdeal / result.dSeconds);
    }
    return result.nOk == result.nSlots && result.nOk == options.nDrives ? 0 : 1;
}
