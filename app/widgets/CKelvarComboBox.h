// A drop-down list with flat owner-drawn items, a thin blue frame and a
// bitmap arrow; optionally kept in text order.
#pragma once

#include <QComboBox>
#include <QImage>

class CKelvarComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CKelvarComboBox(QWidget* parent = nullptr);

    // Items added later go to their place in text order. Ordering ignores
    // case, as the sorted list boxes the dialogs were laid out with did;
    // equal texts keep their adding order.
    void SetSorted(bool sorted) { m_sorted = sorted; }
    bool IsSorted() const { return m_sorted; }

    // Hides QComboBox::addItem so a sorted box inserts in order.
    void addItem(const QString& text, const QVariant& userData = QVariant());
    // The index the text would get in a sorted box.
    int SortedPosition(const QString& text) const;

    bool isHovered() const { return m_hovered; }
    // The current text as the box shows it: cut with an end ellipsis when
    // it is wider than the text area.
    QString ShownText() const;
    // The open list keeps the box's width: long items end in an ellipsis
    // rather than the list covering the controls beside the box.
    void showPopup() override;

    static constexpr int kItemHeight = 17;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetHovered(bool hovered);
    QRect TextArea() const;

    QImage m_arrows[2];  // enabled, disabled
    bool m_sorted = false;
    bool m_hovered = false;
};
