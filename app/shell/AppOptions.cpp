#include "app/shell/AppOptions.h"

#include <QStringList>

QString AppUsage()
{
    return QStringLiteral(
        "usage: orvane-config [--machine DIR] [--page search|firmware|format] [--screenshot FILE]\n"
        "                     [--lang English|Chinese|Traditional]\n"
        "  --machine DIR     use the emulated machine in DIR (default: KX_MACHINE, else the default machine)\n"
        "  --screenshot FILE render the window into a PNG once the first device search ended, then exit\n"
        "  --page PAGE       the page to open once the first device search ended: search, firmware,\n"
        "                    or format (the disk setup page, which has no button of its own)\n"
        "  --lang NAME       start in that language (and remember it, as the language box does)\n");
}

std::optional<AppOptions> ParseAppOptions(const QStringList& arguments, QString* error, bool* help)
{
    AppOptions options;
    *help = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            *help = true;
            return std::nullopt;
        }
        QString* target = arg == QLatin1String("--machine")      ? &options.machineDir
                          : arg == QLatin1String("--screenshot") ? &options.screenshotFile
                          : arg == QLatin1String("--page")       ? &options.page
                          : arg == QLatin1String("--lang")       ? &options.language
                                                                 : nullptr;
        if (!target) {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            *error = QStringLiteral("%1 needs a value").arg(arg);
            return std::nullopt;
        }
        *target = arguments[++i];
    }
    static const QStringList pages = {QStringLiteral("search"), QStringLiteral("firmware"), QStringLiteral("format")};
    static const QStringList languages = {QStringLiteral("English"), QStringLiteral("Chinese"),
                                          QStringLiteral("Traditional")};
    if (!pages.contains(options.page)) {
        *error = QStringLiteral("--page takes search, firmware or format, not %1").arg(options.page);
        return std::nullopt;
    }
    if (!options.language.isEmpty() && !languages.contains(options.language)) {
        *error = QStringLiteral("--lang takes English, Chinese or Traditional, not %1").arg(options.language);
        return std::nullopt;
    }
    return options;
}
