#include "app_fixture.h"

#include <fstream>

#include "app/pages/DeviceSearchDlg.h"
#include <sstream>

namespace app_testing {

void AppMachine::OpenWindow(const QString& language)
{
    StartApp(language);
    window_ = std::make_unique<CMainDlg>();
    window_->show();
    ASSERT_TRUE(WaitFor([&] { return window_->SearchPage()->ProbesDone() > 0; }));
}

std::string AppMachine::ReadFile(const std::filesystem::path& path) const
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace app_testing
