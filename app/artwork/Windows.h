// Backgrounds of the two windows and the bitmaps their shapes come from.
#pragma once

#include <QImage>

namespace look {

// 547x453 with alpha outside the rounded top; the banner's first frame is
// laid in where the animation plays.
QImage MainWindowBackground(const QImage& bannerFrame);
QImage MessageBoxBackground();  // 301x130

// Opaque copy of a window background in which every see-through pixel is
// the hole colour and no other pixel is.
QImage ShapeBitmap(const QImage& background);

}  // namespace look
