// A push button drawn from an image set: four consecutive PNG resources
// (normal, hover, pressed, disabled) and a caption at a fixed offset.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPoint>
#include <QString>
#include <array>

class CBeautifulButton : public QAbstractButton {
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
    bool isHovered() const { return m_hovered; }
    int imageSetId() const { return m_imageSetId; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    enum { kNormal, kHover, kPressed, kDisabled };
    void SetHovered(bool hovered);

    int m_imageSetId = 0;
    std::array<QImage, 4> m_images;
    QString m_caption;
    QPoint m_offset;
    bool m_hovered = false;
    // The size last taken from the images; a different size means the owner
    // placed the button and the images no longer decide.
    QSize m_skinSize;
};
