// The skinned message box: a title, a message, an icon by type and OK, or
// OK and Cancel.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>

class CBeautifulButton;
class QLabel;

// Box types.
inline constexpr int kMessageError = 1;
inline constexpr int kMessageWarning = 2;
inline constexpr int kMessageQuestion = 3;

// Control ids of the message box; the numbers are fixed, as the language
// files name texts by them (IDD<dialog>_<id>).
struct MessageDlgId {
    enum : int {
        Ok = 1,
        Cancel = 2,
        Close = 1011,
        Title = 1044,
        Text = 1045,
    };
};

class CMessageDlg : public QDialog {
    Q_OBJECT
public:
    CMessageDlg(const QString& text, int type, QWidget* parent = nullptr);

    int MessageType() const { return m_type; }
    QString MessageText() const;
    CBeautifulButton* OkButton() const { return m_ok; }
    CBeautifulButton* CancelButton() const { return m_cancel; }
    CBeautifulButton* CloseButton() const { return m_close; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Enter and Escape neither confirm nor cancel the box.
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    // A close by the window manager answers as Cancel and the close button do.
    void reject() override { done(2); }

private:
    void Layout();

    int m_type;
    QLabel* m_title = nullptr;
    QLabel* m_message = nullptr;
    CBeautifulButton* m_ok = nullptr;
    CBeautifulButton* m_cancel = nullptr;
    CBeautifulButton* m_close = nullptr;
    QImage m_background;
    QImage m_icon;
    QFont m_titleFont;
    QFont m_messageFont;
};
