// The DOS name journal as the machine store reads it: any file either loads
// or is refused with MachineError; what loads, written out whole and added
// to, reads back the same in a fresh reader.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "machine/dos_name_journal.h"
#include "platform/machine.h"

namespace {

std::filesystem::path scratchFile()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "dos-journal-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    return std::filesystem::path(pattern) / "dos_devices.journal";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::filesystem::path file = scratchFile();
    std::ofstream(file, std::ios::trunc | std::ios::binary).write(reinterpret_cast<const char*>(data),
                                                                   static_cast<std::streamsize>(size));
    machine::DosNameJournal journal(file);
    std::shared_ptr<const machine::DosNames> names;
    try {
        names = journal.read();
    } catch (const machine::MachineError&) {
        return 0;
    }
    if (!names)
        std::abort();
    machine::DosNameChanges changes(*names);
    changes.define("FUZZ", "\\Device\\Harddisk0\\Partition0");
    journal.append(changes);
    if (*machine::DosNameJournal(file).read() != changes.names())
        std::abort();
    journal.replace(*names);
    if (*machine::DosNameJournal(file).read() != *names)
        std::abort();
    return 0;
}
