// Static controls of the skinned dialogs: transparent, placed by id.
#pragma once

#include <QColor>
#include <QLabel>

// Text colour of the statics on the dark bands.
inline const QColor kLightStaticColour(244, 245, 247);

QLabel* MakeStatic(QWidget* parent, int id, const QRect& rect, const QString& text = {});
void SetStaticColour(QLabel* label, const QColor& colour);
