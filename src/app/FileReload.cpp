#include "FileReload.h"

#include "Dialogs.h"
#include "DrawGrid.h"
#include "MapSession.h"
#include "ProgressRun.h"
#include "Settings.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <algorithm>
#include <utility>

namespace {

QString shortName(const QString& fileName)
{
    return QFileInfo(fileName).fileName();
}

} // namespace

TFileReload::TFileReload(TMapSession& session, TSettings& settings, const TFileReloadView& view)
    : QObject(view.PartsWindow), FSession(session), FSettings(settings), FView(view)
{
    TFileWatch& picture = session.PartsPictureWatch();
    connect(&picture, &TFileWatch::changed, this, &TFileReload::partsChanged);
    connect(&picture, &TFileWatch::removed, this, [this](const QString& fileName) {
        FView.PartsStatus->setText(PartsGoneText.arg(shortName(fileName)));
    });
    TFileWatch& map = session.MapFileWatch();
    connect(&map, &TFileWatch::changed, this, &TFileReload::mapChanged);
    connect(&map, &TFileWatch::removed, this, [this](const QString& fileName) {
        FView.MapStatus->setText(MapGoneText.arg(shortName(fileName)));
    });
    FRetry.setSingleShot(true);
    FRetry.setInterval(TFileWatch::SettleMs);
    connect(&FRetry, &QTimer::timeout, this, &TFileReload::takeUpWaiting);
}

bool TFileReload::mustWait()
{
    if (!ProgressWorkRunning() && !QApplication::activeModalWidget())
        return false;
    FRetry.start();
    return true;
}

void TFileReload::takeUpWaiting()
{
    if (FAsking || mustWait())
        return;
    const QString parts = std::exchange(FWaitingParts, QString());
    const QString map = std::exchange(FWaitingMap, QString());
    if (!parts.isEmpty())
        partsChanged(parts);
    if (!map.isEmpty())
        mapChanged(map);
}

bool TFileReload::askReload(QWidget* parent, const QString& question, bool aboutParts)
{
    FAsking = true;
    const TAnswer answer = AskConfirm(parent, question, TConfirmButtons::YesNo);
    FAsking = false;
    (aboutParts ? FWaitingParts : FWaitingMap).clear();
    // What came meanwhile is taken up once this change is done with.
    QMetaObject::invokeMethod(this, &TFileReload::takeUpWaiting, Qt::QueuedConnection);
    return answer == TAnswer::Yes;
}

void TFileReload::partsChanged(const QString& fileName)
{
    if (FAsking || mustWait()) {
        FWaitingParts = fileName;
        return;
    }
    const QString name = shortName(fileName);
    const bool lupeEdited = FView.LupeEdited && FView.LupeEdited();
    const bool edited = FSession.Parts().IsPartsModified() || lupeEdited;
    if (edited && !askReload(FView.PartsWindow, PartsQuestion.arg(name), true)) {
        FView.PartsStatus->setText(PartsKeptText.arg(name));
        return;
    }
    // The magnifier stores its edits itself before the parts change: one undo brings them back.
    reloadParts(name);
}

void TFileReload::reloadParts(const QString& name)
{
    const bool reloaded = FSession.ReloadPartsPicture() == TMapSession::TReload::Reloaded;
    FView.PartsStatus->setText((reloaded ? PartsReloadedText : PartsUnreadableText).arg(name));
}

void TFileReload::mapChanged(const QString& fileName)
{
    if (FAsking || mustWait()) {
        FWaitingMap = fileName;
        return;
    }
    const QString name = shortName(fileName);
    if (FSession.Document().MapModified() &&
        !askReload(FView.MainWindow, MapQuestion.arg(name), false)) {
        FView.MapStatus->setText(MapKeptText.arg(name));
        return;
    }
    reloadMap(name);
}

void TFileReload::reloadMap(const QString& name)
{
    // The view stays where it was; a map of another size shows as much of it as fits.
    TDrawGrid& grid = *FView.MapGrid;
    const int left = grid.LeftCol();
    const int top = grid.TopRow();
    const int col = grid.Col();
    const int row = grid.Row();
    const TMapFileType type =
        FSettings.LoadFormatType() == 1 ? TMapFileType::Type1 : TMapFileType::Type2;
    switch (FSession.ReloadMap(type)) {
    case TMapSession::TReload::Reloaded:
        grid.SetCol(std::min(col, grid.ColCount() - 1));
        grid.SetRow(std::min(row, grid.RowCount() - 1));
        grid.SetLeftCol(left);
        grid.SetTopRow(top);
        FView.MapStatus->setText(MapReloadedText.arg(name));
        break;
    case TMapSession::TReload::OtherPartSize:
        FView.MapStatus->setText(MapOtherPartsText.arg(name));
        break;
    case TMapSession::TReload::Unreadable:
        FView.MapStatus->setText(MapUnreadableText.arg(name));
        break;
    }
}
