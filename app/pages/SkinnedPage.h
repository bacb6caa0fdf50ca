// A child page of the main window: borderless, painted over its background
// image, placed where the main window keeps its pages.
#pragma once

#include <QImage>
#include <QWidget>

#include "app/pages/PageStates.h"

class SkinnedPage : public QWidget {
    Q_OBJECT
public:
    SkinnedPage(int dialogId, int backgroundId, QWidget* parent);
    int DialogId() const { return m_dialogId; }
    // Texts of the language now in use.
    virtual void RefreshTexts() = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Sent synchronously to the main window, as the pages' state reports
    // are: a kPage code and a kActivity state.
    void ReportPageState(int pageCode, int activityState);

private:
    int m_dialogId;
    QImage m_background;
};
