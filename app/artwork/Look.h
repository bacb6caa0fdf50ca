// The one look every image shares: colours, the title band, faces and
// small drawing helpers.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace look {

// The window shape bitmaps mark cut-out pixels with this exact colour.
inline const QColor kShapeHole(230, 44, 44);
// The light text the controls draw on dark areas; the wordmark shares it.
inline const QColor kLightText(244, 245, 247);

inline const QColor kFrame(11, 24, 48);
inline const QColor kHeaderDeep(14, 34, 72);
inline const QColor kAccent(64, 156, 232);
inline const QColor kAccentSoft(120, 196, 255);

inline const QColor kPanel(236, 241, 248);
inline const QColor kPanelLow(222, 230, 241);
inline const QColor kCard(248, 250, 253);
inline const QColor kCardEdge(196, 207, 224);
inline const QColor kSunken(205, 215, 230);
inline const QColor kRule(168, 183, 207);

inline const QColor kStripTop(31, 62, 114);
inline const QColor kStripBottom(21, 45, 88);

enum class State { Normal, Hover, Pressed, Disabled };

QColor Mix(const QColor& a, const QColor& b, double t);
// Colour of row y of any title band, so pieces laid on it match.
QColor BandColor(int y);

// Transparent ARGB canvas, or opaque RGB filled with a colour.
QImage Canvas(int width, int height);
QImage OpaqueCanvas(int width, int height, const QColor& fill);
void Begin(QPainter& p, QImage& image);

void FillVertical(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom);
void FillTitleBand(QPainter& p, int width, int height);
QPainterPath RoundedTop(const QRectF& r, qreal radius);

// Caption-less face of a push button: rounded, with a soft gradient.
void DrawFace(QPainter& p, const QRectF& r, State state, qreal radius);
// Colour for glyphs drawn on a face in that state.
QColor GlyphColor(State state);

// Dark strip behind the light hint text of the pages.
void DrawHintStrip(QPainter& p, const QRectF& r);

}  // namespace look
