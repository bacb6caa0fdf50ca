#include "cli/batch/batch_display.h"

#include <algorithm>
#include <cstdio>

#include "cli/terminal_width.h"

namespace cli {

BatchDisplay::BatchDisplay(std::ostream& out, std::function<std::size_t()> columns, std::vector<std::string> disks)
    : out_(out), columns_(std::move(columns)), inPlace_(static_cast<bool>(columns_))
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
    const std::size_t width = std::max<std::size_t>(columns_(), 2);
    std::size_t rows = 0;
    for (std::size_t columns : drawn_)
        rows += std::max<std::size_t>(1, (columns + width - 1) / width);
    if (rows > 0)
        out_ << "\x1b[" << rows << "A";  // back to the first row
    drawn_.clear();
    // One column short of the width: a line that fills the last column
    // wraps at once on some terminals.
    const auto line = [&](const std::string& text) {
        const std::string shown = cutToColumns(text, width - 1);
        out_ << "\r\x1b[2K" << shown << '\n';
        drawn_.push_back(columnsOf(shown));
    };
    for (const Row& row : rows_)
        line(text(row));
    if (!note_.empty())
        line(note_);
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
