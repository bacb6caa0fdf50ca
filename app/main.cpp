// orvane-config: the desktop application.
#include <cstdio>
#include <string_view>

#include "app/shell/TavrinApp.h"

int main(int argc, char** argv)
{
    // Answered without a display: no QApplication is made for it.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::puts("orvane-config " ORVANE_VERSION);
        return 0;
    }
    return RunTavrinApp(argc, argv);
}
