#include "cli/batch/worker_report.h"

#include <regex>

namespace cli {

WorkerReport readWorkerLine(const std::string& line)
{
    static const std::regex progress(R"(^\s*(\d{1,3})% (?:\[[# ]*\] )?(.*)$)");
    static const std::regex result(R"(^Result -?\d+: (.*?)\.?$)");
    static const std::regex error(R"(^orvane: (.*?)\.?$)");
    std::smatch m;
    WorkerReport report;
    if (line == kWaitingToRestart) {
        report.kind = WorkerReport::Kind::WaitingToRestart;
        report.text = line;
    } else if (std::regex_match(line, m, progress) && std::stoi(m[1]) <= 100) {
        report.kind = WorkerReport::Kind::Progress;
        report.percent = std::stoi(m[1]);
        report.text = m[2];
    } else if (std::regex_match(line, m, result)) {
        report.kind = WorkerReport::Kind::Result;
        report.text = m[1];
    } else if (std::regex_match(line, m, error)) {
        report.kind = WorkerReport::Kind::Error;
        report.text = m[1];
    }
    return report;
}

}  // namespace cli
