#include "app/widgets/CRadioBox.h"

#include <QEnterEvent>
#include <QPainter>

#include "app/core/log/ComnLog.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"

namespace {

constexpr int kImageIds[4] = {167, 168, 166, 165};  // normal, disabled, hover, checked

int ChoiceNumber(const QString& text)
{
    if (text == u"ONE")
        return 1;
    if (text == u"TWO")
        return 2;
    if (text == u"THREE")
        return 3;
    return 0;
}

}  // namespace

CRadioBox::CRadioBox(QWidget* parent) : CRadioBox(QString(), parent) {}

CRadioBox::CRadioBox(const QString& text, QWidget* parent) : HoverButton(parent)
{
    setText(text);
    for (int i = 0; i < 4; ++i)
        m_images[i] = LoadResourceImage("PNG", kImageIds[i]);
    setMouseTracking(true);
    if (!m_images[kNormal].isNull())
        resize(m_images[kNormal].size());
    connect(this, &QAbstractButton::clicked, this, &CRadioBox::OnClicked);
}

QSize CRadioBox::sizeHint() const { return m_images[kNormal].isNull() ? QSize(16, 16) : m_images[kNormal].size(); }

bool CRadioBox::SetCheck(bool value, bool redraw)
{
    if (m_checked == value)
        return false;
    m_checked = value;
    if (redraw)
        update();
    return true;
}

void CRadioBox::OnClicked()
{
    if (SetCheck(true, true) && parentWidget()) {
        const QVariant group = property(kRadioGroupProperty);
        for (CRadioBox* other : parentWidget()->findChildren<CRadioBox*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->property(kRadioGroupProperty).toInt() == group.toInt())
                other->SetCheck(false, true);
    }

    const QByteArray text = this->text().toUtf8();
    COMN_LOG("%s : %s : %d 单选按钮 windowsText%s", text.constData());
    const int choice = ChoiceNumber(this->text());
    COMN_LOG("%s : %s : %d 单选按钮 windowsText%s", text.constData());
    if (choice == 0)
        return;
    if (QWidget* parent = parentWidget()) {
        COMN_LOG("%s : %s : %d 单选按钮 父窗口不为空");
        SendWindowMessage(parent, WM_RADIO_CHOSEN, static_cast<std::uintptr_t>(choice), 0);
    } else {
        COMN_LOG("%s : %s : %d 单选按钮 父窗口为空");
    }
}

void CRadioBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_images[kNormal]);
    if (!isEnabled())
        painter.drawImage(0, 0, m_images[kDisabled]);
    if (isHovered() && !m_checked)
        painter.drawImage(0, 0, m_images[kHover]);
    if (m_checked)
        painter.drawImage(0, 0, m_images[kChecked]);
}

