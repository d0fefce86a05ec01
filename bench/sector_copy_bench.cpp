// Sector Copy through the real supervisor and engine, over image drives of
// the bay in memory.
//
// Fan-out: one source onto N targets, against two ways without the engine
// measured in the same run over the same volumes: N copies one after
// another (the source read N times), and one thread that reads each chunk
// once and writes it to every target in turn. It reports each ratio and the
// bytes read from the source, which must be one source length for every N.
//
// Pacing: every target throttled, then one target slower than the others;
// parallel efficiency = ideal time (source length over the slowest target's
// speed) over the measured time.
//
// Memory: the process's peak resident size against the ring plus 16 MiB.
//
//   sector_copy_bench [--smoke] [--fanout N,N,...] [--source-size BYTES]
//                     [--pacing-size BYTES] [--targets N] [--speed B/s]
//                     [--slow-speed B/s] [--keep FOLDER]
//
// --keep leaves the source and target images of the pacing runs in FOLDER
// (those of the fan-out are written over by them), so other tools can be
// timed on the same files.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_run.h"
#include "engine/aligned_buffer.h"
#include "engine/sector_copy.h"
#include "platform/raw_volumes.h"

namespace {

struct BenchOptions {
    std::vector<int> fanout{1, 4, 22};
    uint64_t nSourceSize = 256ull << 20;
    uint64_t nPacingSize = 256ull << 20;
    int nPacingTargets = 22;
    uint64_t nSpeed = 20'000'000;
    uint64_t nSlowSpeed = 5'000'000;
    std::filesystem::path keep;
};

bool ReadOptions(int argc, char** argv, BenchOptions& options)
{
    const bool bRead = ReadBenchOptions(
        argc, argv,
        {{"--smoke", false,
          [&](const char*) {
              options.fanout = {1, 3};
              options.nSourceSize = (1u << 20) + 512;
              options.nPacingSize = 1u << 20;
              options.nPacingTargets = 3;
              options.nSpeed = 0;
              options.nSlowSpeed = 0;
          }},
         {"--fanout", true,
          [&](const char* pszValue) {
              options.fanout.clear();
              std::istringstream list(pszValue);
              for (std::string strN; std::getline(list, strN, ',');)
                  options.fanout.push_back(std::atoi(strN.c_str()));
          }},
         {"--source-size", true, SetNumber(options.nSourceSize)},
         {"--pacing-size", true, SetNumber(options.nPacingSize)},
         {"--targets", true, SetNumber(options.nPacingTargets)},
         {"--speed", true, SetNumber(options.nSpeed)},
         {"--slow-speed", true, SetNumber(options.nSlowSpeed)},
         {"--keep", true, SetPath(options.keep)}});
    const auto bad = [](int n) { return n < 1 || n > MAX_DRIVE_SLOTS; };
    return bRead && options.nSourceSize > 0 && !options.fanout.empty()
           && std::none_of(options.fanout.begin(), options.fanout.end(), bad) && !bad(options.nPacingTargets);
}

void WriteImage(const std::filesystem::path& file, uint64_t nBytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string strBlock(1 << 20, '\0');
    for (uint64_t nDone = 0; nDone < nBytes;) {
        const uint64_t nChunk = std::min<uint64_t>(strBlock.size(), nBytes - nDone);
        for (size_t i = 0; i < nChunk; ++i)
            strBlock[i] = static_cast<char>(((nDone + i) * 131 + (nDone + i) / 65536) % 251);
        out.write(strBlock.data(), static_cast<std::streamsize>(nChunk));
        nDone += nChunk;
    }
}

// The source D: (an internal disk, never a target) and targets E: onwards;
// speeds of 0 leave a target unthrottled.
std::string BayText(const std::vector<uint64_t>& speeds)
{
    std::string strText = "[D:]\nimage = source.img\nsize = 1G\ntype = fixed\nbus = sata\nmedia = fixed\n";
    for (size_t i = 0; i < speeds.size(); ++i) {
        const char chLetter = static_cast<char>('E' + i);
        strText += std::string("[") + chLetter + ":]\nimage = target-" + chLetter + ".img\nsize = 1G\n";
        if (speeds[i] != 0)
            strText += "speed = " + std::to_string(speeds[i]) + "\n";
    }
    return strText;
}

// Targets are written out in full beforehand, as a stick's blocks exist
// before anything copies onto it; sparse files would make the copy pay for
// allocating the host's memory.
void LayOutImages(const std::filesystem::path& root, uint64_t nSize, size_t nTargets)
{
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    WriteImage(root / "source.img", nSize);
    for (size_t i = 0; i < nTargets; ++i)
        WriteImage(root / (std::string("target-") + static_cast<char>('E' + i) + ".img"), nSize);
}

// A chunk, or what is left of the volume at its end: a transfer across the
// end fails whole.
uint32_t ChunkAt(uint64_t nDone, uint64_t nSize)
{
    return static_cast<uint32_t>(std::min<uint64_t>(SECTOR_CHUNK_SIZE, nSize - nDone));
}

// N copies one after another, each reading the whole source. bWhole says
// whether every copy went through: a baseline that stopped early would
// flatter the engine.
double CopyOneAfterAnother(CSimulatedBay& bay, int nTargets, uint64_t nSize, bool& bWhole)
{
    bWhole = true;
    // On a sector, as a volume handle demands.
    CAlignedBuffer buffer;
    buffer.Allocate(SECTOR_CHUNK_SIZE);
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < nTargets; ++k) {
        std::unique_ptr<IRawVolume> source = bay.RawVolumes().OpenVolume(L"D:");
        std::unique_ptr<IRawVolume> target =
            bay.RawVolumes().OpenVolume(std::wstring(1, static_cast<wchar_t>(L'E' + k)) + L":");
        uint64_t nDone = 0;
        while (source && target && nDone < nSize) {
            uint32_t nRead = 0;
            uint32_t nWritten = 0;
            if (!source->Read(buffer.data(), ChunkAt(nDone, nSize), nRead) || nRead == 0
                || !target->Write(buffer.data(), nRead, nWritten))
                break;
            nDone += nRead;
        }
        bWhole = bWhole && nDone == nSize && target->Flush();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One thread: each chunk read once and written to every target in turn.
double CopyChunkToEveryTarget(CSimulatedBay& bay, int nTargets, uint64_t nSize, bool& bWhole)
{
    CAlignedBuffer buffer;
    buffer.Allocate(SECTOR_CHUNK_SIZE);
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<IRawVolume> source = bay.RawVolumes().OpenVolume(L"D:");
    std::vector<std::unique_ptr<IRawVolume>> targets;
    for (int k = 0; k < nTargets; ++k)
        targets.push_back(bay.RawVolumes().OpenVolume(std::wstring(1, static_cast<wchar_t>(L'E' + k)) + L":"));
    bWhole = std::all_of(targets.begin(), targets.end(), [](const auto& target) { return target != nullptr; });
    uint64_t nDone = 0;
    while (source && nDone < nSize) {
        uint32_t nRead = 0;
        if (!source->Read(buffer.data(), ChunkAt(nDone, nSize), nRead) || nRead == 0)
            break;
        for (std::unique_ptr<IRawVolume>& target : targets) {
            uint32_t nWritten = 0;
            if (target && (!target->Write(buffer.data(), nRead, nWritten) || nWritten != nRead))
                bWhole = false;
        }
        nDone += nRead;
    }
    for (std::unique_ptr<IRawVolume>& target : targets)
        bWhole = bWhole && target && target->Flush();
    bWhole = bWhole && nDone == nSize;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: sector_copy_bench [--smoke] [--fanout N,N,...] [--source-size B]"
                             " [--pacing-size B] [--targets N] [--speed B/s] [--slow-speed B/s] [--keep FOLDER]\n");
        return 2;
    }
    const std::filesystem::path root =
        options.keep.empty() ? BenchScratchFolder("corvantis-sector-copy-bench") : options.keep;
    bool bAllOk = true;
    std::string strFigures;
    char szFigure[256];

    LayOutImages(root, options.nSourceSize,
                 static_cast<size_t>(*std::max_element(options.fanout.begin(), options.fanout.end())));
    for (int nTargets : options.fanout) {
        CBenchRun bench;
        if (!bench.UseBay(BayText(std::vector<uint64_t>(static_cast<size_t>(nTargets), 0)), root))
            return 1;
        const BenchRunResult engine = bench.Run(TASK_SECTOR_COPY, L"D:\\");
        const uint64_t nEngineRead = bench.Bay().BytesRead(L'D');
        bAllOk = bAllOk && engine.nOk == nTargets && nEngineRead == options.nSourceSize;
        bool bSerialWhole = false;
        bool bOneThreadWhole = false;
        const double dSerial = CopyOneAfterAnother(bench.Bay(), nTargets, options.nSourceSize, bSerialWhole);
        const double dOneThread = CopyChunkToEveryTarget(bench.Bay(), nTargets, options.nSourceSize, bOneThreadWhole);
        bAllOk = bAllOk && bSerialWhole && bOneThreadWhole;
        std::printf("fan-out %2d: engine %.2f s (%d OK, source read %llu bytes of %llu), one after another %.2f s, "
                    "one thread %.2f s\n",
                    nTargets, engine.dSeconds, engine.nOk, static_cast<unsigned long long>(nEngineRead),
                    static_cast<unsigned long long>(options.nSourceSize), dSerial, dOneThread);
        std::snprintf(szFigure, sizeof(szFigure), "N=%d %.2fx/%.2fx read %.2f; ", nTargets,
                      dSerial / engine.dSeconds, dOneThread / engine.dSeconds,
                      static_cast<double>(nEngineRead) / static_cast<double>(options.nSourceSize));
        strFigures += szFigure;
    }

    // The fan-out's images serve again where they fit: writing gigabytes
    // of images is most of the benchmark's time otherwise.
    const int nMostFanout = *std::max_element(options.fanout.begin(), options.fanout.end());
    if (options.nPacingSize != options.nSourceSize || options.nPacingTargets > nMostFanout)
        LayOutImages(root, options.nPacingSize, static_cast<size_t>(options.nPacingTargets));
    for (const bool bOneSlow : {false, true}) {
        std::vector<uint64_t> speeds(static_cast<size_t>(options.nPacingTargets), options.nSpeed);
        if (bOneSlow)
            speeds.back() = options.nSlowSpeed;
        CBenchRun bench;
        if (!bench.UseBay(BayText(speeds), root))
            return 1;
        const BenchRunResult paced = bench.Run(TASK_SECTOR_COPY, L"D:\\");
        bAllOk = bAllOk && paced.nOk == options.nPacingTargets;
        const uint64_t nSlowest = *std::min_element(speeds.begin(), speeds.end());
        const double dIdeal = nSlowest != 0 ? static_cast<double>(options.nPacingSize) / static_cast<double>(nSlowest)
                                            : 0.0;
        std::printf("pacing%s: %d targets, %d OK, ideal %.2f s, measured %.2f s\n", bOneSlow ? " (one slow)" : "",
                    options.nPacingTargets, paced.nOk, dIdeal, paced.dSeconds);
        std::snprintf(szFigure, sizeof(szFigure), "pacing%s %.3f; ", bOneSlow ? " one-slow" : "",
                      dIdeal > 0.0 ? dIdeal / paced.dSeconds : 0.0);
        strFigures += szFigure;
    }
    if (options.keep.empty())
        std::filesystem::remove_all(root);

    const double dRingMiB = static_cast<double>(MAX_RING_CHUNKS * SECTOR_CHUNK_SIZE) / (1 << 20);
    const double dPeakMiB = static_cast<double>(PeakResidentBytes()) / (1 << 20);
    std::printf("sector copy: %speak %.1f MiB (ring %.1f MiB + 16 MiB allowed)%s\n", strFigures.c_str(), dPeakMiB,
                dRingMiB, bAllOk ? "" : "; SOME TARGETS FAILED");
    return bAllOk ? 0 : 1;
}
