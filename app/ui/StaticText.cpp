#include "app/ui/StaticText.h"

#include "app/widgets/ControlId.h"

QLabel* MakeStatic(QWidget* parent, int id, const QRect& rect, const QString& text)
{
    auto* label = new QLabel(text, parent);
    SetControlId(label, id);
    label->setGeometry(rect);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void SetStaticColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}
