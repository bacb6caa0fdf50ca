#include "app/widgets/CKelvarComboBox.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "app/widgets/ResourceImage.h"

namespace {

const QColor kBorder(126, 157, 185);
const QColor kSelected(229, 243, 250);
const QColor kDisabledItemText(160, 160, 160);
const QColor kDisabledFace(225, 225, 225);
const QColor kDisabledText(152, 152, 152);
constexpr int kArrowEnabled = 184;
constexpr int kArrowDisabled = 185;
constexpr int kArrowArea = 21;

// Items drawn flat at a fixed height instead of in the style's look.
class FlatItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), CKelvarComboBox::kItemHeight);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        const bool enabled = option.state & QStyle::State_Enabled;
        // COLOR_WINDOW of the dialogs is the list background, Qt's Base.
        const QColor face = selected ? kSelected : option.palette.color(QPalette::Active, QPalette::Base);
        painter->fillRect(option.rect, face);
        painter->setPen(selected ? kSelected : QColor(Qt::white));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));

        QColor textColor = enabled ? option.palette.color(QPalette::Active, QPalette::WindowText) : kDisabledItemText;
        painter->setPen(textColor);
        painter->setFont(option.font);
        const QRect textRect = option.rect.adjusted(6, 0, 0, 0);
        const QString text = index.data(Qt::DisplayRole).toString();
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        painter->restore();
    }
};

}  // namespace

CKelvarComboBox::CKelvarComboBox(QWidget* parent) : QComboBox(parent)
{
    setItemDelegate(new FlatItemDelegate(this));
    m_arrows[0] = LoadResourceImage("BMP", kArrowEnabled);
    m_arrows[1] = LoadResourceImage("BMP", kArrowDisabled);
}

int CKelvarComboBox::SortedPosition(const QString& text) const
{
    // Binary search for the first item ordered after the text.
    int low = 0;
    int high = count();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (QString::compare(itemText(mid), text, Qt::CaseInsensitive) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void CKelvarComboBox::addItem(const QString& text, const QVariant& userData)
{
    if (m_sorted)
        insertItem(SortedPosition(text), text, userData);
    else
        QComboBox::addItem(text, userData);
}

QRect CKelvarComboBox::TextArea() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
}

QString CKelvarComboBox::ShownText() const
{
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, qMax(0, TextArea().width()));
}

void CKelvarComboBox::showPopup()
{
    QComboBox::showPopup();
    QWidget* popup = view()->window();
    if (popup == window())
        return;
    popup->setFixedWidth(width());
    popup->move(mapToGlobal(QPoint(0, 0)).x(), popup->y());
}

void CKelvarComboBox::paintEvent(QPaintEvent*)
{
    {
        // The style's own painting, with the text already cut to fit.
        QStylePainter style(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText = ShownText();
        style.drawComplexControl(QStyle::CC_ComboBox, option);
        style.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
    QPainter painter(this);
    painter.setBrush(Qt::NoBrush);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    if (isEnabled()) {
        painter.setPen(kBorder);
        painter.drawRect(frame);
        // A white band just inside the border hides the style's own frame.
        painter.setPen(Qt::white);
        painter.drawRect(frame.adjusted(1, 1, -1, -1));
        painter.drawRect(frame.adjusted(2, 2, -2, -2));
    } else {
        painter.fillRect(rect(), kDisabledFace);
        painter.setPen(kBorder);
        painter.drawRect(frame);
        painter.setPen(kDisabledText);
        painter.drawText(TextArea(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         ShownText());
    }
    const QImage& arrow = m_arrows[isEnabled() ? 0 : 1];
    const QRect arrowRect(width() - kArrowArea + 2, 3, 16, height() - 6);
    if (!arrow.isNull() && arrowRect.height() > 0)
        painter.drawImage(arrowRect, arrow);
}

void CKelvarComboBox::SetHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    update();
}

void CKelvarComboBox::enterEvent(QEnterEvent* event)
{
    SetHovered(true);
    QComboBox::enterEvent(event);
}

void CKelvarComboBox::leaveEvent(QEvent* event)
{
    SetHovered(false);
    QComboBox::leaveEvent(event);
}
