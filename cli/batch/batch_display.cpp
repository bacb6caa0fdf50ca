#include "cli/batch/batch_display.h"

#include <algorithm>
#include <cstdio>

namespace cli {

BatchDisplay::BatchDisplay(std::ostream& out, bool inPlace, std::vector<std::string> disks)
    : out_(out), inPlace_(inPlace)
{
    for (auto& d : disks) {
        width_ = std::max(width_, d.size());
        Row row;
        row.disk = std::move(d);
        rows_.push_back(std::move(row));
    }
    if (inPlace_)
        redraw();
}

std::string BatchDisplay::text(const Row& row) const
{
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", row.percent);
    return row.disk + std::string(width_ - row.disk.size() + 2, ' ') + percent + "  " + row.stage;
}

void BatchDisplay::redraw()
{
    if (drawnRows_ > 0)
        out_ << "\x1b[" << drawnRows_ << "A";  // back to the first row
    for (const Row& row : rows_)
        out_ << "\r\x1b[2K" << text(row) << '\n';
    drawnRows_ = rows_.size();
    if (!note_.empty()) {
        out_ << "\r\x1b[2K" << note_ << '\n';
        ++drawnRows_;
    }
    out_.flush();
}

void BatchDisplay::note(const std::string& text)
{
    note_ = text;
    if (inPlace_)
        redraw();
    else
        out_ << text << std::endl;
}

void BatchDisplay::show(std::size_t disk, int percent, const std::string& stage)
{
    Row& row = rows_.at(disk);
    row.percent = percent;
    row.stage = stage;
    if (inPlace_) {
        redraw();
        return;
    }
    // Plain lines (a log, a pipe): a new stage, or a tenth more of it.
    const bool news = stage != row.printedStage || percent >= row.printedPercent + 10 ||
                      (percent == 100 && row.printedPercent != 100);
    if (!news)
        return;
    row.printedStage = stage;
    row.printedPercent = percent;
    out_ << text(row) << std::endl;
}

}  // namespace cli
