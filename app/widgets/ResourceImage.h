// The executable's image resources, found by type and id (":/PNG/135").
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

QString ResourcePath(const char* type, int id);
// Null image or empty bytes when the resource is missing.
QImage LoadResourceImage(const char* type, int id);
QByteArray LoadResourceBytes(const char* type, int id);
// Registers the compiled-in artwork; needed once before the first lookup
// because the artwork lives in a static library.
void InitArtwork();
