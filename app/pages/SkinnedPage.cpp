#include "app/pages/SkinnedPage.h"

#include <QPainter>

#include "app/core/jobs/WorkerMessages.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"

SkinnedPage::SkinnedPage(int dialogId, int backgroundId, QWidget* parent)
    : QWidget(parent), m_dialogId(dialogId), m_background(LoadResourceImage("PNG", backgroundId))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SkinnedPage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QPoint(0, 0), m_background);
}

void SkinnedPage::ReportPageState(int pageCode, int activityState)
{
    SendWindowMessage(parentWidget(), WM_PAGE_STATE, static_cast<std::uintptr_t>(pageCode), activityState);
}
