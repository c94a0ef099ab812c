#include "title.h"

#include "CmprsImg.h"
#include "Dialogs.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

// The built-in pictures live in the windows library, which is static: the resource must be
// named once for the linker to keep it. Outside any namespace, as the macro requires.
static void initBuiltInPictures()
{
    Q_INIT_RESOURCE(pictures);
}

TTitleForm::TTitleForm(bool showAtStart, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    initBuiltInPictures();
    setObjectName(QStringLiteral("TitleForm"));
    setWindowTitle(QStringLiteral("Quiltmapper"));
    setFixedSize(438, 207);

    Image = new TCompressedImage(this);
    Image->SetAutoSize(true);
    Image->LoadResource(QStringLiteral(":/pictures/title.cmp"));
    Image->move(0, 0);
    connect(Image, &TCompressedImage::clicked, this, &TTitleForm::CloseTitle);

    ClickLabel = new QLabel(QStringLiteral("Click this window."), this);
    ClickLabel->setAttribute(Qt::WA_TransparentForMouseEvents); // the click is the window's
    QPalette palette = ClickLabel->palette();
    palette.setColor(QPalette::WindowText, QColor(0x4a, 0x4f, 0x63));
    ClickLabel->setPalette(palette);
    ClickLabel->adjustSize();
    ClickLabel->move(width() - ClickLabel->width() - 10, height() - ClickLabel->height() - 8);
    ClickLabel->hide();

    CloseTimer = new QTimer(this);
    CloseTimer->setInterval(3000);
    CloseTimer->setSingleShot(true);
    connect(CloseTimer, &QTimer::timeout, this, &TTitleForm::CloseTitle);

    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate(showAtStart);
}

void TTitleForm::FormCreate(bool showAtStart)
{
    // The program goes on starting behind the shown title.
    if (showAtStart) {
        CloseTimer->start();
        show();
    }
}

void TTitleForm::ShowAbout()
{
    if (FAboutLoop)
        return; // already waiting for its click
    ClickLabel->show();
    CloseTimer->stop();
    // Modality takes effect only when the window is shown anew.
    hide();
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();

    QEventLoop loop;
    FAboutLoop = &loop;
    RunModalWindow(this, [&loop] { loop.exec(QEventLoop::DialogExec); });
    FAboutLoop = nullptr;
    setWindowModality(Qt::NonModal);
}

void TTitleForm::CloseTitle()
{
    CloseTimer->stop();
    hide();
    if (FAboutLoop)
        FAboutLoop->quit();
}

void TTitleForm::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        CloseTitle();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TTitleForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CloseTitle();
        return;
    }
    QWidget::keyPressEvent(event);
}
