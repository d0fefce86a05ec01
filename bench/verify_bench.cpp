// Sector Copy with Verify through the real supervisor and engine, over image
// drives of the bay in memory: every target throttled for writing and for
// reading, one of them slower at both.
//
// Each drive checks itself as soon as its own writing is done and waits for
// no other, so the run should last as long as the slowest drive takes to
// write and then read back the source. Verification efficiency = that ideal
// time (source length over the slowest drive's write speed plus source
// length over its read speed) over the measured time. It also reports the
// process's peak resident size against the ring plus the hash table plus
// 16 MiB.
//
//   verify_bench [--smoke] [--source-size BYTES] [--targets N] [--speed B/s]
//                [--read-speed B/s] [--slow-speed B/s] [--slow-read-speed B/s]
//                [--keep FOLDER]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_run.h"
#include "engine/sector_copy.h"

namespace {

struct BenchOptions {
    uint64_t nSourceSize = 256ull << 20;
    int nTargets = 22;
    uint64_t nSpeed = 20'000'000;
    uint64_t nReadSpeed = 60'000'000;
    uint64_t nSlowSpeed = 10'000'000;
    uint64_t nSlowReadSpeed = 30'000'000;
    std::filesystem::path keep;
};

bool ReadOptions(int argc, char** argv, BenchOptions& options)
{
    const bool bRead = ReadBenchOptions(
        argc, argv,
        {{"--smoke", false,
          [&](const char*) {
              options.nSourceSize = (3u << 20) + 512;
              options.nTargets = 3;
              options.nSpeed = 0;
              options.nReadSpeed = 0;
              options.nSlowSpeed = 0;
              options.nSlowReadSpeed = 0;
          }},
         {"--source-size", true, SetNumber(options.nSourceSize)},
         {"--targets", true, SetNumber(options.nTargets)},
         {"--speed", true, SetNumber(options.nSpeed)},
         {"--read-speed", true, SetNumber(options.nReadSpeed)},
         {"--slow-speed", true, SetNumber(options.nSlowSpeed)},
         {"--slow-read-speed", true, SetNumber(options.nSlowReadSpeed)},
         {"--keep", true, SetPath(options.keep)}});
    return bRead && options.nSourceSize > 0 && options.nTargets >= 1 && options.nTargets <= MAX_DRIVE_SLOTS;
}

void WriteImage(const std::filesystem::path& file, uint64_t nBytes, unsigned nSeed)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string strBlock(1 << 20, '\0');
    for (uint64_t nDone = 0; nDone < nBytes;) {
        const uint64_t nChunk = std::min<uint64_t>(strBlock.size(), nBytes - nDone);
        for (size_t i = 0; i < nChunk; ++i)
            strBlock[i] = static_cast<char>(((nDone + i) * 131 + nSeed + (nDone + i) / 65536) % 251);
        out.write(strBlock.data(), static_cast<std::streamsize>(nChunk));
        nDone += nChunk;
    }
}

std::string SpeedKeys(uint64_t nSpeed, uint64_t nReadSpeed)
{
    return (nSpeed != 0 ? "speed = " + std::to_string(nSpeed) + "\n" : std::string())
        + (nReadSpeed != 0 ? "read-speed = " + std::to_string(nReadSpeed) + "\n" : std::string());
}

// The source D: (an internal disk, never a target) and targets E: onwards,
// the last of them the slow one. Targets are written out in full with other
// bytes than the source's beforehand, as a stick's blocks exist before
// anything copies onto it, and a check that read an untouched target would
// fail.
std::string LayOutBay(const std::filesystem::path& root, const BenchOptions& options)
{
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    WriteImage(root / "source.img", options.nSourceSize, 1);
    std::string strText = "[D:]\nimage = source.img\nsize = 1G\ntype = fixed\nbus = sata\nmedia = fixed\n";
    for (int i = 0; i < options.nTargets; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        const std::string strImage = std::string("target-") + chLetter + ".img";
        WriteImage(root / strImage, options.nSourceSize, 2);
        const bool bSlow = i == options.nTargets - 1;
        strText += std::string("[") + chLetter + ":]\nimage = " + strImage + "\nsize = 1G\n"
            + SpeedKeys(bSlow ? options.nSlowSpeed : options.nSpeed,
                        bSlow ? options.nSlowReadSpeed : options.nReadSpeed);
    }
    return strText;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: verify_bench [--smoke] [--source-size B] [--targets N] [--speed B/s]"
                             " [--read-speed B/s] [--slow-speed B/s] [--slow-read-speed B/s] [--keep FOLDER]\n");
        return 2;
    }
    const std::filesystem::path root =
        options.keep.empty() ? BenchScratchFolder("corvantis-verify-bench") : options.keep;
    CBenchRun bench;
    if (!bench.UseBay(LayOutBay(root, options), root))
        return 1;
    const BenchRunResult run = bench.Run(TASK_SECTOR_COPY, L"D:\\", true);
    const bool bAllOk = run.nOk == options.nTargets;
    const uint64_t nSourceRead = bench.Bay().BytesRead(L'D');
    if (options.keep.empty())
        std::filesystem::remove_all(root);

    const double dSize = static_cast<double>(options.nSourceSize);
    const double dIdeal = options.nSlowSpeed != 0 && options.nSlowReadSpeed != 0
                              ? dSize / static_cast<double>(options.nSlowSpeed)
                                    + dSize / static_cast<double>(options.nSlowReadSpeed)
                              : 0.0;
    const double dRingMiB = static_cast<double>(
                                std::min<uint64_t>(MAX_RING_CHUNKS, options.nSourceSize / SECTOR_CHUNK_SIZE + 1)
                                * SECTOR_CHUNK_SIZE)
        / (1 << 20);
    const double dTableMiB =
        static_cast<double>((options.nSourceSize + VERIFY_BLOCK_BYTES - 1) / VERIFY_BLOCK_BYTES * sizeof(uint64_t))
        / (1 << 20);
    const double dPeakMiB = static_cast<double>(PeakResidentBytes()) / (1 << 20);
    std::printf("verify: %d targets, %d OK, source read %llu bytes of %llu, ideal %.2f s, measured %.2f s\n",
                options.nTargets, run.nOk, static_cast<unsigned long long>(nSourceRead),
                static_cast<unsigned long long>(options.nSourceSize), dIdeal, run.dSeconds);
    std::printf("verify: efficiency %.3f; peak %.1f MiB (ring %.1f MiB + hash table %.3f MiB + 16 MiB allowed)%s\n",
                dIdeal > 0.0 ? dIdeal / run.dSeconds : 0.0, dPeakMiB, dRingMiB, dTableMiB,
                bAllOk ? "" : "; SOME TARGETS FAILED");
    return bAllOk ? 0 : 1;
}
