#include "ImageFiles.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

ImageFiles::ImageFiles(const QString& dir) : m_dir(dir) {}

QByteArray ImageFiles::encode(const QImage& image, const char* format, int id)
{
    QImage img = image;
    // Fixed resolution and no text chunks keep the bytes the same every run.
    img.setDotsPerMeterX(2835);
    img.setDotsPerMeterY(2835);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(img)) {
        m_errors += QStringLiteral("%1 %2: %3\n").arg(QLatin1String(format)).arg(id).arg(writer.errorString());
        return {};
    }
    return bytes;
}

void ImageFiles::png(int id, const QImage& image, Alpha alpha)
{
    const QByteArray bytes =
        encode(image.convertToFormat(alpha == Alpha::Keep ? QImage::Format_ARGB32 : QImage::Format_RGB32), "png", id);
    if (!bytes.isEmpty())
        save(QStringLiteral("PNG"), id, bytes);
}

void ImageFiles::bmp(int id, const QImage& image)
{
    // Qt writes an RGB32 image as 24 bits a pixel, uncompressed, which is
    // what the controls read; checked, since other formats come out otherwise.
    const QByteArray bytes = encode(image.convertToFormat(QImage::Format_RGB32), "bmp", id);
    if (bytes.isEmpty())
        return;
    if (bytes.size() < 54 || uchar(bytes[28]) != 24 || bytes[30] != 0) {
        m_errors += QStringLiteral("BMP %1: not a 24-bit uncompressed bitmap\n").arg(id);
        return;
    }
    save(QStringLiteral("BMP"), id, bytes);
}

void ImageFiles::gif(int id, const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        m_errors += QStringLiteral("GIF %1: nothing encoded\n").arg(id);
        return;
    }
    save(QStringLiteral("GIF"), id, bytes);
}

void ImageFiles::save(const QString& kind, int id, const QByteArray& bytes)
{
    const QString folder = m_dir + QLatin1Char('/') + kind;
    if (!QDir().mkpath(folder)) {
        m_errors += QStringLiteral("cannot create %1\n").arg(folder);
        return;
    }
    QSaveFile file(QStringLiteral("%1/%2.%3").arg(folder).arg(id).arg(kind.toLower()));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_errors += QStringLiteral("%1: %2\n").arg(file.fileName(), file.errorString());
        return;
    }
    ++m_written;
}
