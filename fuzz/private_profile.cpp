// The language file reader: UTF-16LE files and files in the machine's ANSI
// code page (936 here, a double-byte one), read through the application's
// own lookups.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/core/language/PrivateProfile.h"
#include "app/core/support/WideText.h"
#include "fuzz_machine.h"
#include "platform/machine.h"

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

struct Lookup {
    std::u16string_view section, key;
};

constexpr Lookup kLookups[] = {
    {u"Setting", u"Language"}, {u"Setting", u"PRIVATENAME"}, {u"String", u"IDOK"}, {u"String", u"IDD132_Title"}};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const auto dir = fuzzing::scratchMachine();
    machine::setSetting(*machine::Machine::open(dir), "acp", "936");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::u16string path = Utf8ToWide(fuzzing::writeScratchFile(data, size).string());
    // Each read opens the file through the machine: few lookups keep runs quick.
    for (const Lookup& l : kLookups)
        check(ReadPrivateProfileText(path, l.section, l.key, u"Not found", 1000).size() < 1000);
    // A smaller buffer gives the start of the same text.
    const Lookup& l = kLookups[2];
    const std::u16string full = ReadPrivateProfileText(path, l.section, l.key, u"Not found", 1000);
    check(ReadPrivateProfileText(path, l.section, l.key, u"Not found", 4) == full.substr(0, 3));
    return 0;
}
