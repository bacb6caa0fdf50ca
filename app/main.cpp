// orvane-config: the desktop application.
#include "app/shell/TavrinApp.h"

int main(int argc, char** argv) { return RunTavrinApp(argc, argv); }
