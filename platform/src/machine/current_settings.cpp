#include "machine/current_settings.h"

namespace win::detail {

machine::Settings currentSettings()
{
    try {
        return machine::current()->readWithoutNames()->settings;
    } catch (const std::exception&) {
        return machine::Settings{};
    }
}

}  // namespace win::detail
