// The command line of orvane-config.
#pragma once

#include <QString>
#include <optional>

struct AppOptions {
    QString machineDir;      // empty: the default machine
    QString screenshotFile;  // empty: run interactively
    QString page = QStringLiteral("search");
    QString language;        // empty: as start-up chooses
};

// Empty with *error set on a bad command line; *help set for --help.
std::optional<AppOptions> ParseAppOptions(const QStringList& arguments, QString* error, bool* help);
QString AppUsage();
