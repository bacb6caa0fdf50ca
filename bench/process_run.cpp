#include "bench/process_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace bench {

ProcessRun RunProcess(const std::vector<std::string>& argv, const std::filesystem::path& log)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0)
        throw std::runtime_error("cannot open " + log.string());
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out);
    if (pid < 0)
        throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error("lost " + argv[0]);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    ProcessRun run;
    run.wallSeconds = wall.count();
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

namespace {

std::vector<double> Walls(const std::vector<ProcessRun>& runs)
{
    std::vector<double> walls;
    for (const auto& r : runs)
        walls.push_back(r.wallSeconds);
    return walls;
}

void MustSucceed(const ProcessRun& run, const std::vector<std::string>& argv, const std::filesystem::path& log)
{
    if (run.exitStatus != 0)
        throw std::runtime_error(argv[0] + " " + (argv.size() > 1 ? argv[1] : "") + " ended with " +
                                 std::to_string(run.exitStatus) + " (its output is in " + log.string() + ")");
}

}  // namespace

double PairedRuns::MedianWallA() const { return Median(Walls(a)); }
double PairedRuns::MedianWallB() const { return Median(Walls(b)); }

double PairedRuns::MedianRatio() const
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i].wallSeconds / b[i].wallSeconds);
    return Median(ratios);
}

double PairedRuns::MaxPeakA() const
{
    double peak = 0;
    for (const auto& r : a)
        peak = std::max(peak, r.peakMiB);
    return peak;
}

PairedRuns RunPairs(const std::vector<std::string>& a, const std::vector<std::string>& b, int runs, int warmups,
                    const std::filesystem::path& log)
{
    PairedRuns pairs;
    for (int i = 0; i < warmups + runs; ++i) {
        const ProcessRun ra = RunProcess(a, log);
        MustSucceed(ra, a, log);
        const ProcessRun rb = RunProcess(b, log);
        MustSucceed(rb, b, log);
        if (i >= warmups) {
            pairs.a.push_back(ra);
            pairs.b.push_back(rb);
        }
    }
    return pairs;
}

}  // namespace bench
