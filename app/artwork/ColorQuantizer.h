// Reduces true-colour artwork to the 256-entry tables GIF needs.
#pragma once

#include <QImage>
#include <QList>
#include <QRgb>

#include <vector>

namespace gif {

// Median cut over the opaque colours of all images, weighted by how often
// each occurs; when they fit, the colours themselves in a fixed order.
QList<QRgb> BuildPalette(const std::vector<QImage>& images, int maxColors);

// Format_Indexed8 over the palette, each pixel its nearest entry.
QImage MapToPalette(const QImage& image, const QList<QRgb>& palette);

}  // namespace gif
