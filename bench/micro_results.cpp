#include "bench/micro_results.h"

#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace bench {

namespace {

double ToSeconds(double value, const std::string& unit)
{
    if (unit == "ns")
        return value / 1e9;
    if (unit == "us")
        return value / 1e6;
    if (unit == "ms")
        return value / 1e3;
    return value;
}

}  // namespace

std::map<std::string, MicroFigure> ReadMicroResults(const std::filesystem::path& json)
{
    std::ifstream in(json);
    if (!in)
        throw std::runtime_error("cannot read " + json.string());
    const nlohmann::json doc = nlohmann::json::parse(in);
    std::map<std::string, MicroFigure> figures;
    std::map<std::string, bool> fromMedian;
    for (const auto& b : doc.at("benchmarks")) {
        if (b.value("error_occurred", false))
            continue;
        const bool aggregate = b.value("run_type", "") == "aggregate";
        if (aggregate && b.value("aggregate_name", "") != "median")
            continue;
        const std::string name = b.value("run_name", b.value("name", ""));
        if (!aggregate && fromMedian[name])
            continue;
        MicroFigure f;
        f.seconds = ToSeconds(b.value("real_time", 0.0), b.value("time_unit", "ns"));
        f.cpuSeconds = ToSeconds(b.value("cpu_time", 0.0), b.value("time_unit", "ns"));
        f.bytesPerSecond = b.value("bytes_per_second", 0.0);
        figures[name] = f;
        fromMedian[name] = aggregate;
    }
    return figures;
}

}  // namespace bench
