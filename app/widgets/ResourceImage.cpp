#include "app/widgets/ResourceImage.h"

#include <QFile>

static void InitArtworkResource() { Q_INIT_RESOURCE(artwork); }

void InitArtwork()
{
    static const bool done = (InitArtworkResource(), true);
    (void)done;
}

QString ResourcePath(const char* type, int id) { return QStringLiteral(":/%1/%2").arg(QLatin1String(type)).arg(id); }

QImage LoadResourceImage(const char* type, int id)
{
    InitArtwork();
    return QImage(ResourcePath(type, id));
}

QByteArray LoadResourceBytes(const char* type, int id)
{
    InitArtwork();
    QFile file(ResourcePath(type, id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
