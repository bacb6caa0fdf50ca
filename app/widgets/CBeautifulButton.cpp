#include "app/widgets/CBeautifulButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <algorithm>
#include <climits>

#include "app/widgets/LanguageFonts.h"
#include "app/widgets/ResourceImage.h"

namespace {

// atoi: leading blanks, an optional sign, then as many digits as there are.
int TextToInt(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r' ||
                               text[i] == u'\v' || text[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<long long>(value * 10 + (text[i].unicode() - u'0'), 1LL << 31);
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace

CBeautifulButton::CBeautifulButton(int imageSetId, const QString& caption, const QString& xText,
                                   const QString& yText, QWidget* parent)
    : HoverButton(parent), m_caption(caption), m_offset(TextToInt(xText), TextToInt(yText))
{
    setMouseTracking(true);
    SetSkin(imageSetId, QString(), QString(), QString());
}

void CBeautifulButton::SetSkin(int imageSetId, const QString& caption, const QString& xText, const QString& yText)
{
    m_imageSetId = imageSetId;
    for (int i = 0; i < 4; ++i)
        m_images[i] = LoadResourceImage("PNG", imageSetId + i);
    if (!caption.isEmpty())
        m_caption = caption;
    if (!xText.isEmpty())
        m_offset.setX(TextToInt(xText));
    if (!yText.isEmpty())
        m_offset.setY(TextToInt(yText));

    const QSize imageSize = m_images[kNormal].size();
    const bool ownerPlaced = testAttribute(Qt::WA_Resized) && size() != m_skinSize;
    if (!ownerPlaced && !imageSize.isEmpty()) {
        m_skinSize = imageSize;
        resize(imageSize);
    }
    updateGeometry();
    update();
}

QSize CBeautifulButton::sizeHint() const
{
    return m_images[kNormal].isNull() ? QSize(0, 0) : m_images[kNormal].size();
}

void CBeautifulButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_images[kNormal]);
    QColor textColor(255, 255, 255);
    if (isHovered()) {
        painter.drawImage(0, 0, m_images[kHover]);
        textColor = QColor(244, 245, 247);
    }
    if (!isEnabled()) {
        painter.drawImage(0, 0, m_images[kDisabled]);
        textColor = QColor(33, 48, 79);
    } else if (isDown()) {
        painter.drawImage(0, 0, m_images[kPressed]);
        textColor = QColor(244, 245, 247);
    }
    if (m_caption.isEmpty())
        return;

    const int kind = GetFontKind();
    // Offsets laid out for the YaHei faces put the fallback face too high.
    if (kind == kFontSimSun && m_offset.y() == 3)
        m_offset.setY(6);
    QFont font(FontKindFace(kind));
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    painter.setFont(font);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(textColor);
    painter.drawText(QRect(m_offset, QSize(qMax(1, width() - m_offset.x()), qMax(1, height() - m_offset.y()))),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, m_caption);
}

