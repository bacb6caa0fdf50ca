#include "app/ui/MessageDlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "app/ui/LanguageText.h"
#include "app/ui/StaticText.h"
#include "app/ui/TitleBandDrag.h"
#include "app/ui/WindowShape.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/ControlId.h"
#include "app/widgets/LanguageFonts.h"
#include "app/widgets/ResourceImage.h"

namespace {

constexpr int kWidth = 301;
constexpr int kHeight = 130;

CBeautifulButton* MakeButton(QWidget* parent, int id, int imageSet, const char* captionKey)
{
    const ButtonCaption caption = captionKey ? ButtonCaptionOf(captionKey) : ButtonCaption{};
    auto* button = new CBeautifulButton(imageSet, caption.caption, caption.x, caption.y, parent);
    SetControlId(button, id);
    return button;
}

}  // namespace

CMessageDlg::CMessageDlg(const QString& text, int type, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_type(type)
{
    const QString title = LanguageText("IDC_STRING_TITLE");
    setWindowTitle(title);
    m_background = LoadResourceImage("PNG", 178);
    m_icon = LoadResourceImage("PNG", type == kMessageError ? 176 : 177);
    m_title = MakeStatic(this, MessageDlgId::Title, QRect(31, 2, 300, 25), title);
    m_message = MakeStatic(this, MessageDlgId::Text, QRect(81, 35, 195, 60));
    m_ok = MakeButton(this, MessageDlgId::Ok, 5030, "IDOK");
    m_cancel = MakeButton(this, MessageDlgId::Cancel, 5030, "IDCANCEL");
    m_close = MakeButton(this, MessageDlgId::Close, 5000, nullptr);
    connect(m_ok, &QAbstractButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { done(2); });
    connect(m_close, &QAbstractButton::clicked, this, [this] { done(2); });
    new TitleBandDrag(this, 35, 300);

    Layout();
    m_message->setText(text);
    CreateLanguageFont(m_titleFont, kFontRoleTitle);
    CreateLanguageFont(m_messageFont, kFontRoleBody);
    m_title->setFont(m_titleFont);
    m_message->setFont(m_messageFont);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetStaticColour(m_title, kLightStaticColour);
    SetStaticColour(m_message, kLightStaticColour);
}

QString CMessageDlg::MessageText() const { return m_message->text(); }

void CMessageDlg::Layout()
{
    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    m_close->setGeometry(279, 9, 11, 11);
    if (m_type == kMessageQuestion) {
        m_ok->setGeometry(81, 98, 79, 23);
        m_cancel->setGeometry(193, 98, 79, 23);
    } else {
        m_ok->setGeometry(111, 98, 79, 23);
        m_cancel->hide();
    }
}

void CMessageDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QPoint(0, 0), m_background);
    painter.drawImage(QPoint(18, 43), m_icon);
}

void CMessageDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    setMask(ShapeFromBitmap(LoadResourceImage("BMP", 179), QRect(0, 0, kWidth, kHeight)));
}

void CMessageDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
