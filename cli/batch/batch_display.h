// One line per disk of a many-disk job: its name, percent and stage,
// redrawn in place on a terminal, else a plain line at each change.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

class BatchDisplay {
public:
    BatchDisplay(std::ostream& out, bool inPlace, std::vector<std::string> disks);
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
    bool inPlace_;
    std::vector<Row> rows_;
    std::size_t width_ = 0;
    std::string note_;
    std::size_t drawnRows_ = 0;
};

}  // namespace cli
