#include "app_fixture.h"

#include <fstream>
#include <sstream>

namespace app_testing {

std::string AppMachine::ReadFile(const std::filesystem::path& path) const
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace app_testing
