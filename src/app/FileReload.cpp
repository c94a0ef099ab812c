#include "FileReload.h"

#include "Dialogs.h"
#include "DrawGrid.h"
#include "MapSession.h"
#include "Parts.h"
#include "Settings.h"
#include "main.h"

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

TFileReload::TFileReload(TMapSession& session, TSettings& settings, TMainForm& main,
                         TPartsForm& parts)
    : QObject(&parts), FSession(session), FSettings(settings), FMain(main), FParts(parts)
{
    TFileWatch& picture = session.PartsPictureWatch();
    connect(&picture, &TFileWatch::changed, this, &TFileReload::partsChanged);
    connect(&picture, &TFileWatch::removed, this, [this](const QString& fileName) {
        FParts.StatusText->setText(PartsGoneText.arg(shortName(fileName)));
    });
    TFileWatch& map = session.MapFileWatch();
    connect(&map, &TFileWatch::changed, this, &TFileReload::mapChanged);
    connect(&map, &TFileWatch::removed, this, [this](const QString& fileName) {
        FMain.StatusPanel0->setText(MapGoneText.arg(shortName(fileName)));
    });
}

bool TFileReload::askReload(QWidget* parent, const QString& question, bool aboutParts)
{
    FAsking = true;
    const TAnswer answer = AskConfirm(parent, question, TConfirmButtons::YesNo);
    FAsking = false;
    (aboutParts ? FWaitingParts : FWaitingMap).clear();
    // What came meanwhile is taken up once this change is done with.
    const QString parts = std::exchange(FWaitingParts, QString());
    const QString map = std::exchange(FWaitingMap, QString());
    QMetaObject::invokeMethod(
        this,
        [this, parts, map] {
            if (!parts.isEmpty())
                partsChanged(parts);
            if (!map.isEmpty())
                mapChanged(map);
        },
        Qt::QueuedConnection);
    return answer == TAnswer::Yes;
}

void TFileReload::partsChanged(const QString& fileName)
{
    if (FAsking) {
        FWaitingParts = fileName;
        return;
    }
    const QString name = shortName(fileName);
    if (FSession.Parts().IsPartsModified() && !askReload(&FParts, PartsQuestion.arg(name), true)) {
        FParts.StatusText->setText(PartsKeptText.arg(name));
        return;
    }
    reloadParts(name);
}

void TFileReload::reloadParts(const QString& name)
{
    const bool reloaded = FSession.ReloadPartsPicture() == TMapSession::TReload::Reloaded;
    FParts.StatusText->setText((reloaded ? PartsReloadedText : PartsUnreadableText).arg(name));
}

void TFileReload::mapChanged(const QString& fileName)
{
    if (FAsking) {
        FWaitingMap = fileName;
        return;
    }
    const QString name = shortName(fileName);
    if (FSession.Document().MapModified() && !askReload(&FMain, MapQuestion.arg(name), false)) {
        FMain.StatusPanel0->setText(MapKeptText.arg(name));
        return;
    }
    reloadMap(name);
}

void TFileReload::reloadMap(const QString& name)
{
    // The view stays where it was; a map of another size shows as much of it as fits.
    TDrawGrid& grid = *FMain.MapGrid;
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
        FMain.StatusPanel0->setText(MapReloadedText.arg(name));
        break;
    case TMapSession::TReload::OtherPartSize:
        FMain.StatusPanel0->setText(MapOtherPartsText.arg(name));
        break;
    case TMapSession::TReload::Unreadable:
        FMain.StatusPanel0->setText(MapUnreadableText.arg(name));
        break;
    }
}
