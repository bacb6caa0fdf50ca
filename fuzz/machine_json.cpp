// machine.json as the machine store reads it: any document either loads or
// is refused with MachineError, and what loads writes out and reads back the
// same.
#include <cstdint>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "machine/machine_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto doc = nlohmann::json::parse(data, data + size, nullptr, false);
    if (doc.is_discarded())
        return 0;
    machine::State state;
    try {
        state = machine::fromJson(doc);
    } catch (const machine::MachineError&) {
        return 0;
    }
    const nlohmann::json written = machine::toJson(state);
    if (machine::toJson(machine::fromJson(written)) != written)
        std::abort();
    return 0;
}
