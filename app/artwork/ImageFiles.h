// Writes the images where the build picks them up: DIR/PNG/<id>.png and so on.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class ImageFiles {
public:
    explicit ImageFiles(const QString& dir);

    enum class Alpha { Keep, Drop };
    void png(int id, const QImage& image, Alpha alpha);
    // Always 24 bits a pixel, uncompressed.
    void bmp(int id, const QImage& image);
    void gif(int id, const QByteArray& bytes);

    int written() const { return m_written; }
    // Every failure so far, one a line; empty when all went well.
    const QString& errors() const { return m_errors; }

private:
    QByteArray encode(const QImage& image, const char* format, int id);
    void save(const QString& kind, int id, const QByteArray& bytes);

    QString m_dir;
    int m_written = 0;
    QString m_errors;
};
