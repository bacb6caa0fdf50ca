// Which password opens a private partition's header as the disk holds it
// now. Read only: for telling the truth after a password change that did
// not finish.
#pragma once

#include <string>
#include <string_view>

namespace cli {

enum class HeaderOpener { Current, Chosen, Neither, Unreadable };

HeaderOpener headerOpener(const char* partitionPath, std::string_view current, std::string_view chosen);

}  // namespace cli
