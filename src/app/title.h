#pragma once

#include <QWidget>

class QEventLoop;
class QLabel;
class QTimer;
class TCompressedImage;

// The title window: the program's picture, shown for three seconds at start and by the
// About command until it is clicked.
class TTitleForm : public QWidget
{
    Q_OBJECT

public:
    // A window that stays on top; shown with CloseTimer started when
    // showAtStart (the "isShowTitle" setting) is on.
    explicit TTitleForm(bool showAtStart, QWidget* parent = nullptr);

    // At creation: shown with CloseTimer started when showAtStart is on.
    void FormCreate(bool showAtStart);
    // About: "Click this window." shown, no timer, modal until clicked.
    void ShowAbout();
    // The click on the window or its picture, or the timer.
    void CloseTitle();

    TCompressedImage* Image;
    QLabel* ClickLabel;
    QTimer* CloseTimer;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Esc closes it as a click does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QEventLoop* FAboutLoop = nullptr; // runs while About waits for the click
};
