#include "cli/batch/worker_report.h"

#include <regex>

namespace cli {

WorkerReport readWorkerLine(const std::string& line)
{
    static const std::regex progress(R"(^\s*(\d{1,3})% (?:\[[# ]*\] )?(.*)$)");
    static const std::regex result(R"(^Result -?\d+: (.*?)\.?$)");
    static const std::regex error(R"(^orvane: (.*?)\.?$)");
    static const std::regex formatting(R"(^Formatting public partition (\d+) .*$)");
    static const std::regex setUp(R"(^Disk set up(.*)\.$)");
    static const std::regex signalAnswer(R"(^orvane: ((?:stopping|finishing): .*)$)");
    std::smatch m;
    WorkerReport report;
    if (std::regex_match(line, m, signalAnswer)) {
        report.kind = WorkerReport::Kind::SignalAnswer;
        report.text = m[1];
    } else if (line == kWaitingToRestart) {
        report.kind = WorkerReport::Kind::WaitingToRestart;
        report.text = line;
    } else if (std::regex_match(line, m, progress) && std::stoi(m[1]) <= 100) {
        report.kind = WorkerReport::Kind::Progress;
        report.percent = std::stoi(m[1]);
        report.text = m[2].str().rfind("partition ", 0) == 0 ? "formatting " + m[2].str() : m[2].str();
    } else if (line.rfind("Setting up: ", 0) == 0) {
        report.kind = WorkerReport::Kind::Stage;
        report.text = "writing the new table";
    } else if (line.rfind("Partitions created and visible", 0) == 0) {
        report.kind = WorkerReport::Kind::Stage;
        report.text = "partitions in place";
    } else if (std::regex_match(line, m, formatting)) {
        report.kind = WorkerReport::Kind::Stage;
        report.text = "formatting partition " + m[1].str();
    } else if (std::regex_match(line, m, setUp)) {
        report.kind = WorkerReport::Kind::Result;
        report.text = "disk set up" + m[1].str();
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
