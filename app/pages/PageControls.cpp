#include "app/pages/PageControls.h"

#include "app/ui/LanguageText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/ControlId.h"

namespace {
constexpr int kPageButtonImages = 5030;
}

CBeautifulButton* MakePageButton(QWidget* page, int id, const char* captionKey, const QRect& rect)
{
    const ButtonCaption caption = ButtonCaptionOf(captionKey);
    auto* button = new CBeautifulButton(kPageButtonImages, caption.caption, caption.x, caption.y, page);
    SetControlId(button, id);
    button->setGeometry(rect);
    return button;
}

void ReloadPageButton(CBeautifulButton* button, const char* captionKey)
{
    const ButtonCaption caption = ButtonCaptionOf(captionKey);
    button->SetSkin(kPageButtonImages, caption.caption, caption.x, caption.y);
}
