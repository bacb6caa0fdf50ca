// One size field of the disk setup panel: "Partition n", a numeric edit in
// MiB and the unit. It shows its own entry of the drag bar's sizes and hands
// what the operator typed to the panel.
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

#include "app/widgets/CFlatEdit.h"

class QLabel;

// Size field to panel (WM_EDIT_FINISHED): wParam the field's index, lParam
// points to this.
struct TypedSize {
    int value = 0;         // MiB
    bool byEnter = false;  // else the edit lost the focus
};

// Control ids of the partition size field; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct ParttionSizeId {
    enum : int {
        Edit = 1036,
        Name = 1037,
        Unit = 1038,
    };
};

class CParttionSize : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 167;
    static constexpr int kHeight = 20;

    explicit CParttionSize(QWidget* parent);

    void SetIndex(int index);
    int Index() const { return m_index; }
    void SetValue(int value);
    // What the edit holds now, as MiB.
    int Value() const;
    CFlatEdit* Edit() const { return m_edit; }
    QString Name() const;
    void RefreshTexts();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_index = 1;
    QLabel* m_name;
    CFlatEdit* m_edit;
    QLabel* m_unit;
    QFont m_font;
    QImage m_background;
};
