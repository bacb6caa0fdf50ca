// A push button drawn from an image set: four consecutive PNG resources
// (normal, hover, pressed, disabled) and a caption at a fixed offset.
#pragma once

#include "app/widgets/HoverButton.h"
#include <QImage>
#include <QPoint>
#include <QString>
#include <array>

class CBeautifulButton : public HoverButton {
    Q_OBJECT
public:
    // The offsets come as dialog texts and are read like atoi.
    CBeautifulButton(int imageSetId, const QString& caption, const QString& xText, const QString& yText,
                     QWidget* parent = nullptr);

    // Reloads the images; caption and offsets change only when their text is
    // not empty.
    void SetSkin(int imageSetId, const QString& caption, const QString& xText, const QString& yText);

    QString caption() const { return m_caption; }
    // Where the caption's top-left goes.
    QPoint captionOffset() const { return m_offset; }
    int imageSetId() const { return m_imageSetId; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum { kNormal, kHover, kPressed, kDisabled };

    int m_imageSetId = 0;
    std::array<QImage, 4> m_images;
    QString m_caption;
    QPoint m_offset;
    // The size last taken from the images; a different size means the owner
    // placed the button and the images no longer decide.
    QSize m_skinSize;
};
