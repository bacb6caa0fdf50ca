// DOS device names kept apart from machine.json, in a journal that every
// change appends one line to: a device search defines and removes a name
// for every drive it tries, and rewriting the whole machine for each of
// them would cost more than the search.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dos_names.h"

namespace machine {

class DosNameJournal {
public:
    explicit DosNameJournal(std::filesystem::path file) : file_(std::move(file)) {}

    // The names as the journal holds them now, reading only what was added
    // since the last call; null when there is no journal yet (a machine
    // made before it keeps its names in machine.json).
    std::shared_ptr<const DosNames> read();
    // Under the machine lock, right after read(): adds the changes' lines.
    void append(const DosNameChanges& changes);
    // Under the machine lock: a new journal holding just these names.
    void replace(const DosNames& names);

private:
    void replayFrom(int fd, std::uint64_t size);
    void rewrite(const DosNames& names);  // with mutex_ held
    std::filesystem::path file_;
    std::mutex mutex_;
    std::string header_;        // the first line, new for every rewrite
    std::uint64_t consumed_ = 0;  // bytes replayed, whole lines only
    std::uint64_t size_ = 0;      // the file's size when last read
    std::shared_ptr<const DosNames> names_;
};

}  // namespace machine
