// orvane_compare: the operator's waits measured as whole processes beside
// what standard tools take for the same work, in one run on the same files,
// with the micro-benchmark figures of orvane_bench (--micro FILE) put beside
// their references; ends with one table of the figures and their targets.
//
//   orvane_compare [--micro FILE] [--runs N] [--only verify|upgrade|upgrade-all|setup]
//   orvane_compare --run-steps IMAGE DEVICE   (what the comparison starts: the
//                  worker's steps alone, without device discovery and restart)
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/checksums/ChecksumEngines.h"
#include "app/core/firmware/UpgradeHandleThread.h"
#include "app/core/firmware/UpgradeHeader.h"
#include "app/core/firmware/UpgradeRegions.h"
#include "app/core/support/WideText.h"
#include "bench/bench_machine.h"
#include "bench/micro_results.h"
#include "bench/process_run.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

struct Options {
    std::optional<fs::path> micro;
    int runs = 5;
    std::string only;
};

struct Row {
    std::string what;
    std::string figure;  // the measured value, with its unit
    std::string target;  // empty when there is none
    std::optional<bool> met;
};

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void WriteRandomFile(const fs::path& path, std::uint64_t size, std::uint64_t seed)
{
    std::mt19937_64 engine(seed);
    std::vector<std::uint64_t> block(kMiB / 8);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::uint64_t done = 0; done < size; done += kMiB) {
        for (auto& word : block)
            word = engine();
        const auto n = static_cast<std::streamsize>(std::min(kMiB, size - done));
        out.write(reinterpret_cast<const char*>(block.data()), n);
    }
    if (!out.good())
        throw std::runtime_error("cannot write " + path.string());
}

fs::path BuildDir()
{
    return fs::read_symlink("/proc/self/exe").parent_path();
}

void MustRun(const std::vector<std::string>& argv, const fs::path& log)
{
    if (bench::RunProcess(argv, log).exitStatus != 0)
        throw std::runtime_error(argv[0] + " " + argv[1] + " failed (its output is in " + log.string() + ")");
}

fs::path MakeImage(const fs::path& dir, const std::string& name, std::uint64_t bsize, const fs::path& log)
{
    const fs::path orvane = BuildDir() / "orvane";
    WriteRandomFile(dir / (name + ".kernel"), 4 * kMiB, 1);
    WriteRandomFile(dir / (name + ".rootfs"), 32 * kMiB, 2);
    std::vector<std::string> argv = {orvane, "image", "create", "--kernel", dir / (name + ".kernel"),
                                     "--rootfs", dir / (name + ".rootfs"), "-o", dir / name};
    if (bsize) {
        WriteRandomFile(dir / (name + ".boot"), bsize, 3);
        argv.insert(argv.end() - 2, {"--bsize-file", dir / (name + ".boot")});
    }
    MustRun(argv, log);
    return dir / name;
}

void Report(const std::string& title, const bench::PairedRuns& pairs, const std::string& a, const std::string& b)
{
    std::cout << title << " (" << pairs.a.size() << " pairs, medians):\n"
              << "  " << a << ": " << Fixed(pairs.MedianWallA() * 1e3, 1) << " ms, peak "
              << Fixed(pairs.MaxPeakA(), 1) << " MiB\n"
              << "  " << b << ": " << Fixed(pairs.MedianWallB() * 1e3, 1) << " ms\n"
              << "  ratio " << Fixed(pairs.MedianRatio(), 3) << "\n"
              << std::flush;
}

// orvane image verify of a 256 MiB image against coreutils cksum of it.
void CompareVerify(const Options& options, std::vector<Row>& rows)
{
    bench::BenchMachine machine(kMiB * 1024, 0.0);
    const fs::path log = machine.workDir() / "verify.log";
    const fs::path image = MakeImage(machine.workDir(), "big.bin", 220 * kMiB, log);
    const auto pairs = bench::RunPairs({BuildDir() / "orvane", "image", "verify", image}, {"cksum", image},
                                       options.runs, 1, log);
    Report("orvane image verify vs cksum, 256 MiB", pairs, "orvane image verify", "cksum");
    const double mbps = static_cast<double>(fs::file_size(image)) / pairs.MedianWallA() / 1e6;
    rows.push_back({"image verify 256 MiB, time / cksum's", Fixed(pairs.MedianRatio(), 3), "<= 1.0",
                    pairs.MedianRatio() <= 1.0});
    rows.push_back({"image verify 256 MiB, throughput", Fixed(mbps, 0) + " MB/s", "", std::nullopt});
}

// A tools pipeline as a shell command line: $1 image, $2 scratch folder,
// $3 disk, $4 $5 kernel offset and length in the image, $6 $7 the rootfs's,
// $8 $9 the kernel and rootfs regions' offsets, ${10} the flag sector.
std::vector<std::string> ToolsCommand(const std::string& script, const fs::path& image, const fs::path& work,
                                      const fs::path& disk)
{
    UpgradeFileHeader header;
    if (ParseUpgradeHeaderFile(Utf8ToWide(image.string()).c_str(), header) != 0)
        throw std::runtime_error("cannot read the header of " + image.string());
    const UpgradeFileSpan kernel = KernelImageSpan(header), rootfs = RootfsImageSpan(header);
    fs::create_directories(work);
    return {"sh", "-c", "set -e\n" + script, "sh", image, work, disk,
            std::to_string(kernel.nOffset), std::to_string(kernel.nLength),
            std::to_string(rootfs.nOffset), std::to_string(rootfs.nLength),
            std::to_string(FindUpgradeRegion(UPGRADE_TYPE_KERNEL)->nSeek),
            std::to_string(FindUpgradeRegion(UPGRADE_TYPE_ROOTFS)->nSeek), std::to_string(kUpgradeFlagOffset / 512)};
}

// The standard tools' upgrade: check, split, write through, compare.
std::vector<std::string> ToolsUpgrade(const fs::path& image, const fs::path& work, const fs::path& disk)
{
    return ToolsCommand("cksum \"$1\" >/dev/null\n"
                        "dd if=\"$1\" of=\"$2/kernel\" iflag=skip_bytes,count_bytes skip=$4 count=$5 bs=8M status=none\n"
                        "dd if=\"$1\" of=\"$2/rootfs\" iflag=skip_bytes,count_bytes skip=$6 count=$7 bs=8M status=none\n"
                        "dd if=\"$2/kernel\" of=\"$3\" oflag=dsync,seek_bytes seek=$8 bs=8M conv=notrunc status=none\n"
                        "dd if=\"$2/rootfs\" of=\"$3\" oflag=dsync,seek_bytes seek=$9 bs=8M conv=notrunc status=none\n"
                        "cmp -n $5 -i 0:$8 \"$2/kernel\" \"$3\"\n"
                        "cmp -n $7 -i 0:$9 \"$2/rootfs\" \"$3\"\n",
                        image, work, disk);
}

// The honest yardstick: the same work with no files in between. The image
// checked, each part copied straight from the image to its region with
// write-through, both regions compared with the image, and the flag
// sector read and written back with write-through.
std::vector<std::string> DirectToolsUpgrade(const fs::path& image, const fs::path& work, const fs::path& disk)
{
    return ToolsCommand("cksum \"$1\" >/dev/null\n"
                        "dd if=\"$1\" of=\"$3\" iflag=skip_bytes,count_bytes skip=$4 count=$5 "
                        "oflag=dsync,seek_bytes seek=$8 bs=8M conv=notrunc status=none\n"
                        "dd if=\"$1\" of=\"$3\" iflag=skip_bytes,count_bytes skip=$6 count=$7 "
                        "oflag=dsync,seek_bytes seek=$9 bs=8M conv=notrunc status=none\n"
                        "cmp -n $5 -i $4:$8 \"$1\" \"$3\"\n"
                        "cmp -n $7 -i $6:$9 \"$1\" \"$3\"\n"
                        "dd if=\"$3\" of=\"$2/flag\" bs=512 skip=${10} count=1 status=none\n"
                        "dd if=\"$2/flag\" of=\"$3\" bs=512 seek=${10} count=1 oflag=dsync conv=notrunc status=none\n",
                        image, work, disk);
}

std::string ShellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The commands run at once, as one shell that waits for all of them and
// fails when any does.
std::vector<std::string> AllAtOnce(const std::vector<std::vector<std::string>>& commands)
{
    std::string script;
    for (const auto& argv : commands) {
        for (const auto& word : argv)
            script += ShellQuoted(word) + " ";
        script += "& pids=\"$pids $!\"\n";
    }
    script += "for p in $pids; do wait $p || exit 1; done\n";
    return {"sh", "-c", script};
}

// A whole orvane upgrade (4 MiB kernel, 32 MiB rootfs) onto the machine's
// disk image against the same steps done with standard tools.
void CompareUpgrade(const Options& options, std::vector<Row>& rows)
{
    // No waits for Windows: the restart's pauses are not the disk's speed.
    bench::BenchMachine machine(2048 * kMiB, 0.0);
    const fs::path log = machine.workDir() / "upgrade.log";
    const fs::path image = MakeImage(machine.workDir(), "windows.bin", 0, log);
    const std::vector<std::string> ours = {BuildDir() / "orvane", "upgrade", image, "--yes"};
    MustRun(ours, log);  // the first one also gives the blank disk its system partition
    const auto tools = ToolsUpgrade(image, machine.workDir() / "tools", machine.diskPath());
    const auto pairs = bench::RunPairs(ours, tools, options.runs, 1, log);
    Report("orvane upgrade vs cksum, dd and cmp, 4 MiB kernel and 32 MiB rootfs", pairs, "orvane upgrade",
           "standard tools");
    // The same worker without the library's device discovery and restart:
    // what verifying, extracting, writing, reading back and marking take.
    const std::vector<std::string> steps = {fs::read_symlink("/proc/self/exe"), "--run-steps", image,
                                            machine.devicePath()};
    const auto stepPairs = bench::RunPairs(steps, tools, options.runs, 1, log);
    Report("upgrade worker's steps alone vs the same tools", stepPairs, "worker steps", "standard tools");
    const auto direct = DirectToolsUpgrade(image, machine.workDir() / "direct", machine.diskPath());
    const auto directPairs = bench::RunPairs(ours, direct, options.runs, 1, log);
    Report("orvane upgrade vs the direct pipeline (no files between, flag write included)", directPairs,
           "orvane upgrade", "direct tools");
    rows.push_back({"upgrade 4+32 MiB, time / direct tools'", Fixed(directPairs.MedianRatio(), 3), "<= 1.3",
                    directPairs.MedianRatio() <= 1.3});
    rows.push_back({"upgrade 4+32 MiB, time / tools cutting files first", Fixed(pairs.MedianRatio(), 3), "<= 1.5",
                    pairs.MedianRatio() <= 1.5});
    rows.push_back({"upgrade 4+32 MiB, peak memory", Fixed(pairs.MaxPeakA(), 1) + " MiB", "<= 64",
                    pairs.MaxPeakA() <= 64});
    rows.push_back({"upgrade 4+32 MiB, time", Fixed(directPairs.MedianWallA() * 1e3, 0) + " ms (direct tools " +
                                                  Fixed(directPairs.MedianWallB() * 1e3, 0) + " ms)",
                    "", std::nullopt});
    rows.push_back({"upgrade steps alone, time / standard tools'", Fixed(stepPairs.MedianRatio(), 3), "",
                    std::nullopt});
}

// How many of the disks hold both parts of the image and the flag word.
std::size_t CorrectlyUpgraded(const fs::path& image, const std::vector<fs::path>& disks)
{
    UpgradeFileHeader header;
    if (ParseUpgradeHeaderFile(Utf8ToWide(image.string()).c_str(), header) != 0)
        throw std::runtime_error("cannot read the header of " + image.string());
    const UpgradeFileSpan kernel = KernelImageSpan(header), rootfs = RootfsImageSpan(header);
    std::size_t correct = 0;
    for (const auto& disk : disks) {
        const std::string check =
            "cmp -s -n " + std::to_string(kernel.nLength) + " -i " + std::to_string(kernel.nOffset) + ":" +
            std::to_string(FindUpgradeRegion(UPGRADE_TYPE_KERNEL)->nSeek) + " " + ShellQuoted(image) + " " +
            ShellQuoted(disk) + " && cmp -s -n " + std::to_string(rootfs.nLength) + " -i " +
            std::to_string(rootfs.nOffset) + ":" + std::to_string(FindUpgradeRegion(UPGRADE_TYPE_ROOTFS)->nSeek) +
            " " + ShellQuoted(image) + " " + ShellQuoted(disk) + " && test \"$(od -An -tx4 -j " +
            std::to_string(kUpgradeFlagOffset) + " -N4 " + ShellQuoted(disk) + " | tr -d ' ')\" = 0000000b";
        correct += std::system(check.c_str()) == 0;
    }
    return correct;
}

// Four appliances upgraded at once against one of them alone; afterwards
// every disk must hold both parts and the flag word, byte for byte.
void CompareUpgradeAll(const Options& options, std::vector<Row>& rows)
{
    bench::BenchMachine machine(2048 * kMiB, 0.0);
    std::vector<fs::path> disks{machine.diskPath()};
    for (int i = 0; i < 3; ++i)
        disks.push_back(machine.addDisk());
    const fs::path log = machine.workDir() / "upgrade-all.log";
    const fs::path image = MakeImage(machine.workDir(), "windows.bin", 0, log);
    const fs::path orvane = BuildDir() / "orvane";
    MustRun({orvane, "setup", "--partitions", "0", "--all", "--yes"}, log);  // the system partitions
    const std::vector<std::string> all = {orvane, "upgrade", image, "--all", "--yes"};
    const std::vector<std::string> one = {orvane, "upgrade", image, "--yes", "--device", machine.devicePath()};
    const auto pairs = bench::RunPairs(all, one, options.runs, 1, log);
    Report("orvane upgrade --all of four disks vs one upgrade", pairs, "four with --all", "one");
    const std::size_t correct = CorrectlyUpgraded(image, disks);
    // What this machine allows: the same four disks written by the direct
    // pipeline at once, against one of them (the disks are files on one
    // host disk, which all four writes and read-backs share).
    std::vector<std::vector<std::string>> direct;
    for (std::size_t i = 0; i < disks.size(); ++i)
        direct.push_back(DirectToolsUpgrade(image, machine.workDir() / ("direct" + std::to_string(i)), disks[i]));
    const auto bound = bench::RunPairs(AllAtOnce(direct), direct.front(), options.runs, 1, log);
    Report("four direct pipelines at once vs one", bound, "four at once", "one");
    rows.push_back({"upgrade --all of 4 disks, time / one upgrade's", Fixed(pairs.MedianRatio(), 3), "<= 1.5",
                    pairs.MedianRatio() <= 1.5});
    rows.push_back({"the same with the direct pipeline (this machine's bound)", Fixed(bound.MedianRatio(), 3), "",
                    std::nullopt});
    rows.push_back({"upgrade --all of 4 disks, disks right byte for byte",
                    std::to_string(correct) + " of " + std::to_string(disks.size()), "all",
                    correct == disks.size()});
}

// The NTFS partitions of an sfdisk dump: number, start and size in sectors.
struct NtfsRange {
    int number;
    std::uint64_t start, sectors;
};

std::vector<NtfsRange> NtfsRanges(const fs::path& dump)
{
    std::vector<NtfsRange> ranges;
    std::ifstream in(dump);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(" : start=");
        if (colon == std::string::npos || line.find("type=7") == std::string::npos)
            continue;
        std::size_t digits = colon;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1])))
            --digits;
        NtfsRange r{};
        r.number = std::stoi(line.substr(digits, colon - digits));
        r.start = std::stoull(line.substr(colon + 9));
        r.sectors = std::stoull(line.substr(line.find("size=") + 5));
        ranges.push_back(r);
    }
    return ranges;
}

// A 512 GiB appliance disk set up with two public partitions against
// sfdisk writing the same table and mkntfs quick-formatting the same
// ranges. The ranges must be block devices for mkntfs, so loop devices:
// root only.
void CompareSetup(const Options& options, std::vector<Row>& rows)
{
    if (::geteuid() != 0) {
        std::cout << "setup 512 GiB vs sfdisk and mkntfs: skipped, the ranges need loop devices (root)\n";
        return;
    }
    bench::BenchMachine machine(512ull << 30, 0.0);
    const fs::path log = machine.workDir() / "setup.log";
    const std::vector<std::string> ours = {BuildDir() / "orvane", "setup", "--partitions", "2", "--yes"};
    MustRun(ours, log);
    const fs::path dump = machine.workDir() / "layout.sfdisk";
    MustRun({"sh", "-c", "sfdisk -d \"$1\" >\"$2\"", "sh", machine.diskPath(), dump}, log);
    const auto ranges = NtfsRanges(dump);
    if (ranges.size() != 2)
        throw std::runtime_error("the setup did not leave two NTFS partitions (see " + dump.string() + ")");
    std::string script = "set -e\nsfdisk -q --no-reread --no-tell-kernel \"$1\" <\"$2\"\n";
    for (const NtfsRange& r : ranges)
        script += "l=$(losetup -f --show -o " + std::to_string(r.start * 512) + " --sizelimit " +
                  std::to_string(r.sectors * 512) + " \"$1\")\nmkntfs -Q -F -q -p " + std::to_string(r.start) +
                  " -H 255 -S 63 -L Partition-" + std::to_string(r.number) +
                  " \"$l\" >/dev/null 2>&1 || { losetup -d \"$l\"; exit 1; }\nlosetup -d \"$l\"\n";
    const std::vector<std::string> tools = {"sh", "-c", script, "sh", machine.diskPath(), dump};
    const auto pairs = bench::RunPairs(ours, tools, options.runs, 1, log);
    Report("orvane setup of a 512 GiB disk, 2 NTFS partitions, vs sfdisk and mkntfs -Q", pairs, "orvane setup",
           "sfdisk and mkntfs");
    rows.push_back({"setup 512 GiB (2 NTFS), time / sfdisk and mkntfs'", Fixed(pairs.MedianRatio(), 3), "<= 1.0",
                    pairs.MedianRatio() <= 1.0});
    rows.push_back({"setup 512 GiB (2 NTFS), time",
                    Fixed(pairs.MedianWallA() * 1e3, 0) + " ms (tools " + Fixed(pairs.MedianWallB() * 1e3, 0) + " ms)",
                    "", std::nullopt});
}

std::vector<std::string> SplitName(const std::string& name)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t slash; (slash = name.find('/', from)) != std::string::npos; from = slash + 1)
        parts.push_back(name.substr(from, slash - from));
    parts.push_back(name.substr(from));
    return parts;
}

std::string SizeText(std::uint64_t bytes)
{
    return bytes >= kMiB ? std::to_string(bytes / kMiB) + " MiB" : std::to_string(bytes / 1024) + " KiB";
}

// Each engine's throughput and its speed beside the byte-at-a-time one
// ("What/engine/bytes"), by processor time; other benchmarks as they are.
void MicroRows(const fs::path& json, std::vector<Row>& rows)
{
    const auto figures = bench::ReadMicroResults(json);
    for (const auto& [name, figure] : figures) {
        const auto parts = SplitName(name);
        const bool engine = parts.size() == 3 && !parts[2].empty() &&
                            parts[2].find_first_not_of("0123456789") == std::string::npos;
        if (!engine) {
            std::string text = Fixed(figure.seconds * 1e3, 1) + " ms";
            if (figure.bytesPerSecond > 0)
                text += ", " + Fixed(figure.bytesPerSecond / 1e6, 0) + " MB/s";
            rows.push_back({parts[0], text, "", std::nullopt});
            continue;
        }
        std::string text = Fixed(figure.bytesPerSecond / 1e6, 0) + " MB/s";
        std::string target;
        std::optional<bool> met;
        const auto reference = figures.find(parts[0] + "/reference/" + parts[2]);
        if (parts[1] != "reference" && reference != figures.end()) {
            const double speedUp = reference->second.cpuSeconds / figure.cpuSeconds;
            text += ", x" + Fixed(speedUp, 1);
            if (parts[0] == "CalcCrc16" && parts[1] == "chosen" && parts[2] == "33554432") {
                target = "x8 or more";
                met = speedUp >= 8;
            }
        }
        rows.push_back({parts[0] + " " + parts[1] + ", " + SizeText(std::stoull(parts[2])), text, target, met});
    }
}

void PrintTable(const std::vector<Row>& rows)
{
    std::size_t w1 = 4, w2 = 6;
    for (const auto& r : rows) {
        w1 = std::max(w1, r.what.size());
        w2 = std::max(w2, r.figure.size());
    }
    const auto line = [&](const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
        std::cout << a << std::string(w1 - a.size() + 2, ' ') << b << std::string(w2 - b.size() + 2, ' ') << c
                  << std::string(c.size() < 12 ? 12 - c.size() : 1, ' ') << d << "\n";
    };
    std::cout << "\n";
    line("what", "figure", "target", "");
    for (const auto& r : rows)
        line(r.what, r.figure, r.target, r.met ? (*r.met ? "met" : "MISSED") : "");
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            throw std::runtime_error("usage: orvane_compare [--micro FILE] [--runs N] [--only verify|upgrade|upgrade-all|setup]");
        if (arg == "--micro")
            options.micro = argv[++i];
        else if (arg == "--runs")
            options.runs = std::max(1, std::stoi(argv[++i]));
        else if (arg == "--only")
            options.only = argv[++i];
        else
            throw std::runtime_error("unknown option " + arg);
    }
    return options;
}

// The upgrade worker's sequence with no device selected, so nothing is
// discovered or restarted.
int RunSteps(const std::string& image, const std::string& device)
{
    SelectedDevice none;
    CUpgradeHandleThread worker(none);
    const int result = worker.UpgradeDeviceInThread(Utf8ToWide(image), Utf8ToWide(device));
    if (result != CodeOf(UpgradeResult::Succeeded))
        std::cerr << "orvane_compare: the upgrade steps ended with " << result << "\n";
    return result == CodeOf(UpgradeResult::Succeeded) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--run-steps")
        return RunSteps(argv[2], argv[3]);
    try {
        const Options options = ParseOptions(argc, argv);
        std::vector<Row> rows;
        rows.push_back({"checksum engine chosen at run time", checksum::BestEngineName(), "", std::nullopt});
        if (options.micro)
            MicroRows(*options.micro, rows);
        if (options.only.empty() || options.only == "verify")
            CompareVerify(options, rows);
        if (options.only.empty() || options.only == "upgrade-all")
            CompareUpgradeAll(options, rows);
        if (options.only.empty() || options.only == "upgrade")
            CompareUpgrade(options, rows);
        if (options.only.empty() || options.only == "setup")
            CompareSetup(options, rows);
        PrintTable(rows);
        for (const auto& r : rows)
            if (r.met == false)
                return 1;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "orvane_compare: " << e.what() << "\n";
        return 2;
    }
}
