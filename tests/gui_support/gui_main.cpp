// Entry point of the GUI test programs: an offscreen QApplication, and any
// Qt warning fails the test that caused it.
#include <QApplication>
#include <QByteArray>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

void FailOnWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    // What the offscreen platform cannot do (shape windows, raise or grab
    // for an open list) is its limit, not the code's; the shape itself is
    // tested apart and on an X server.
    if (text.startsWith(QLatin1String("This plugin does not support ")))
        return;
    ADD_FAILURE() << "Qt message: " << text.toStdString();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(FailOnWarning);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
