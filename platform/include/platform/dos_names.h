// The machine's DOS device names (DefineDosDevice): name -> targets, the
// newest first. A change is made on a copy and noted as journal lines.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace machine {

using DosNames = std::map<std::string, std::vector<std::string>>;

class DosNameChanges {
public:
    explicit DosNameChanges(DosNames names) : names_(std::move(names)) {}

    const DosNames& names() const { return names_; }
    // Puts target in front of the name's targets.
    void define(const std::string& name, const std::string& target);
    // Takes the first target equal to target away; false when there is none.
    bool remove(const std::string& name, const std::string& target);
    // The journal lines of the changes so far.
    const std::string& journal() const { return journal_; }

private:
    DosNames names_;
    std::string journal_;
};

}  // namespace machine
