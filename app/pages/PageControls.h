// The skinned page buttons: image set 5030, caption and offsets by key.
#pragma once

#include <QRect>

class CBeautifulButton;
class QWidget;

CBeautifulButton* MakePageButton(QWidget* page, int id, const char* captionKey, const QRect& rect);
void ReloadPageButton(CBeautifulButton* button, const char* captionKey);
