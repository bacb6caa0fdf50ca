// One line per disk of a many-disk job: its name, percent and stage,
// redrawn in place on a terminal, else a plain line at each change.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

class BatchDisplay {
public:
    // columns: the terminal's width now, asked at each redraw; without it
    // lines are plain, one at each change.
    BatchDisplay(std::ostream& out, std::function<std::size_t()> columns, std::vector<std::string> disks);
    void show(std::size_t disk, int percent, const std::string& stage);
    // A line about the whole run, under the disks' lines.
    void note(const std::string& text);

private:
    struct Row {
        std::string disk;
        int percent = 0;
        std::string stage = "waiting to start";
        int printedPercent = -100;
        std::string printedStage;
    };
    std::string text(const Row& row) const;
    void redraw();

    std::ostream& out_;
    std::function<std::size_t()> columns_;
    bool inPlace_;
    std::vector<Row> rows_;
    std::size_t width_ = 0;
    std::string note_;
    // Columns of each line drawn last: the rows to go back up, counted at
    // the terminal's width of the moment (it may have been narrowed).
    std::vector<std::size_t> drawn_;
};

}  // namespace cli
