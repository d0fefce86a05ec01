// Sector Copy of a master's used space against the full copy, through the
// real supervisor and engine, over image drives of the bay in memory.
//
// The master is a real FAT32 volume made by mkfs.fat and filled by mtools
// (files copied, a third of them deleted, more copied into the holes), about
// a tenth of it in use. Both copies go onto the same targets, each
// throttled to the same write speed. Efficiency of the used-space copy =
// its ideal time (the bytes it copies onto each drive over the drive's
// speed) over the measured time; the speed-up is the full copy's time over
// the used-space copy's.
//
// The targets store only their first 64 MiB (wrap-at): 22 full copies of a
// 4 GiB master would need 88 GiB of the host's memory, and what is timed
// here is the drives' pace, not what they keep; the tests check that.
//
//   used_space_bench [--smoke] [--master-size BYTES] [--fill BYTES] [--targets N] [--speed B/s]

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_run.h"
#include "engine/drive_slot_table.h"

namespace {

struct BenchOptions {
    uint64_t nMasterSize = 4ull << 30;
    uint64_t nFill = 430ull << 20;
    int nTargets = 22;
    uint64_t nSpeed = 20'000'000;
};

bool ReadOptions(int argc, char** argv, BenchOptions& options)
{
    const bool bRead = ReadBenchOptions(argc, argv,
                                        {{"--smoke", false,
                                          [&](const char*) {
                                              options.nMasterSize = 48ull << 20;
                                              options.nFill = 4ull << 20;
                                              options.nTargets = 3;
                                              options.nSpeed = 0;
                                          }},
                                         {"--master-size", true, SetNumber(options.nMasterSize)},
                                         {"--fill", true, SetNumber(options.nFill)},
                                         {"--targets", true, SetNumber(options.nTargets)},
                                         {"--speed", true, SetNumber(options.nSpeed)}});
    // FAT32 needs 65525 clusters: 40 MiB of 512-byte clusters at least.
    return bRead && options.nTargets >= 1 && options.nTargets <= MAX_DRIVE_SLOTS
           && options.nMasterSize >= (40ull << 20) && options.nFill < options.nMasterSize / 2;
}

bool Shell(const std::string& strCommand)
{
    return std::system(("MTOOLS_SKIP_CHECK=1 " + strCommand + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

void WriteFileOf(const std::filesystem::path& file, uint64_t nBytes, unsigned nSeed)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string strBlock(1 << 16, '\0');
    for (uint64_t nDone = 0; nDone < nBytes;) {
        const uint64_t nRun = std::min<uint64_t>(strBlock.size(), nBytes - nDone);
        for (size_t i = 0; i < nRun; ++i)
            strBlock[i] = static_cast<char>((nDone + i) * 131 + nSeed);
        out.write(strBlock.data(), static_cast<std::streamsize>(nRun));
        nDone += nRun;
    }
}

// Files of 3 MiB and a few bytes; every third deleted, then a fifth as much
// again copied: the used clusters lie in runs with holes between them, as on
// a master that has been worked on.
bool MakeMaster(const std::filesystem::path& root, const BenchOptions& options)
{
    const std::filesystem::path master = root / "master.img";
    const std::filesystem::path files = root / "files";
    std::filesystem::create_directories(files);
    if (!Shell("mkfs.fat -F 32 -n MASTER -C " + Quoted(master) + " " + std::to_string(options.nMasterSize / 1024)))
        return false;
    const uint64_t nFileBytes = std::min<uint64_t>(3 * 1048576 + 777, options.nFill);
    const uint64_t nFirst = options.nFill * 6 / 5 / nFileBytes + 1;
    std::string strFirst;
    for (uint64_t i = 0; i < nFirst; ++i) {
        const std::filesystem::path file = files / ("file" + std::to_string(i) + ".bin");
        WriteFileOf(file, nFileBytes, static_cast<unsigned>(i));
        strFirst += " " + Quoted(file);
    }
    if (!Shell("mcopy -i " + Quoted(master) + strFirst + " ::/"))
        return false;
    std::string strDeleted;
    for (uint64_t i = 0; i < nFirst; i += 3)
        strDeleted += " ::/file" + std::to_string(i) + ".bin";
    if (!Shell("mdel -i " + Quoted(master) + strDeleted))
        return false;
    std::string strMore;
    for (uint64_t i = 0; i < nFirst / 5 + 1; ++i)
        strMore += " " + Quoted(files / ("file" + std::to_string(i) + ".bin"));
    std::filesystem::create_directories(files / "more");
    return Shell("mmd -i " + Quoted(master) + " ::/more") && Shell("mcopy -i " + Quoted(master) + strMore + " ::/more/");
}

// The master on D: (an internal disk, never a target) and the targets E:
// onwards, sparse, as long as the master.
std::string LayOutBay(const std::filesystem::path& root, const BenchOptions& options)
{
    std::string strText = "[D:]\nimage = master.img\nsize = " + std::to_string(options.nMasterSize)
                          + "\ntype = fixed\nbus = sata\nmedia = fixed\n";
    for (int i = 0; i < options.nTargets; ++i) {
        const std::string strName = "target-" + std::to_string(i) + ".img";
        { std::ofstream create(root / strName, std::ios::binary); }
        std::filesystem::resize_file(root / strName, options.nMasterSize);
        strText += std::string("[") + static_cast<char>('E' + i) + ":]\nimage = " + strName
                   + "\nsize = " + std::to_string(options.nMasterSize) + "\nwrap-at = 64M\n";
        if (options.nSpeed != 0)
            strText += "speed = " + std::to_string(options.nSpeed) + "\n";
    }
    return strText;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: used_space_bench [--smoke] [--master-size B] [--fill B] [--targets N]"
                             " [--speed B/s]\n");
        return 2;
    }
    const std::filesystem::path root = BenchScratchFolder("corvantis-used-space-bench");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    if (!MakeMaster(root, options)) {
        std::fprintf(stderr, "used_space_bench: mkfs.fat or mtools failed (scripts/install-deps.sh installs them)\n");
        return 1;
    }
    bool bAllOk = true;
    double dSeconds[2] = {0.0, 0.0};
    uint64_t nWritten[2] = {0, 0};
    for (const bool bUsedSpaceOnly : {false, true}) {
        CBenchRun bench;
        if (!bench.UseBay(LayOutBay(root, options), root))
            return 1;
        const BenchRunResult result = bench.Run(TASK_SECTOR_COPY, L"D:\\", false, L"", L"", bUsedSpaceOnly);
        bAllOk = bAllOk && result.nOk == options.nTargets;
        // Every drive took the same bytes; the last is as good as any.
        nWritten[bUsedSpaceOnly] = bench.Bay().BytesWritten(static_cast<wchar_t>(L'E' + options.nTargets - 1));
        dSeconds[bUsedSpaceOnly] = result.dSeconds;
        std::printf("%s: %d targets, %d OK, %llu bytes written each, source read %llu bytes, %.2f s\n",
                    bUsedSpaceOnly ? "used space only" : "full copy", options.nTargets, result.nOk,
                    static_cast<unsigned long long>(nWritten[bUsedSpaceOnly]),
                    static_cast<unsigned long long>(bench.Bay().BytesRead(L'D')), result.dSeconds);
    }
    std::filesystem::remove_all(root);

    const double dIdeal =
        options.nSpeed != 0 ? static_cast<double>(nWritten[1]) / static_cast<double>(options.nSpeed) : 0.0;
    std::printf("used space: %.1f %% of a %llu-byte master, speed-up %.2fx over the full copy, efficiency %.3f%s\n",
                100.0 * static_cast<double>(nWritten[1]) / static_cast<double>(options.nMasterSize),
                static_cast<unsigned long long>(options.nMasterSize),
                dSeconds[1] > 0.0 ? dSeconds[0] / dSeconds[1] : 0.0, dIdeal > 0.0 ? dIdeal / dSeconds[1] : 0.0,
                bAllOk ? "" : "; SOME TARGETS FAILED");
    return bAllOk ? 0 : 1;
}
