// DOS device names kept apart from machine.json, in a journal that every
// change appends one line to: a device search defines and removes a name
// for every drive it tries, and rewriting the whole machine for each of
// them would cost more than the search.
#pragma once

#include <sys/types.h>

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
    ~DosNameJournal();
    DosNameJournal(const DosNameJournal&) = delete;
    DosNameJournal& operator=(const DosNameJournal&) = delete;

    // The names as the journal holds them now, reading only what was added
    // since the last call; null when there is no journal yet (a machine
    // made before it keeps its names in machine.json). The file stays open
    // between calls, so an unchanged journal costs one stat.
    std::shared_ptr<const DosNames> read();
    // Under the machine lock, right after read(): adds the changes' lines.
    void append(const DosNameChanges& changes);
    // Under the machine lock: a new journal holding just these names.
    void replace(const DosNames& names);

private:
    void replayFrom(int fd, std::uint64_t size);
    void rewrite(const DosNames& names);  // with mutex_ held
    void reopen();                        // with mutex_ held
    void close();                         // with mutex_ held
    std::filesystem::path file_;
    std::mutex mutex_;
    // The journal as last read, held open: while it is, no other file can
    // take its inode, so the same inode at the path means no rewrite came.
    int fd_ = -1;
    bool writable_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::string header_;        // the first line, new for every rewrite
    std::uint64_t consumed_ = 0;  // bytes replayed, whole lines only
    std::uint64_t size_ = 0;      // the file's size when last read
    std::shared_ptr<const DosNames> names_;
};

}  // namespace machine
