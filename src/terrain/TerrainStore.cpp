#include "TerrainStore.h"

#include <QFileInfo>

namespace {

const QString NotSavedText = QStringLiteral("パーツ画像が保存されていないため、地形を使えません");

} // namespace

TTerrainStore::TTerrainStore(QObject* parent) : QObject(parent)
{
    FProblem = NotSavedText;
    FEditProblem = NotSavedText;
}

TTerrainStore::~TTerrainStore() = default;

void TTerrainStore::Read(const QString& pictureFileName, QSize partSize)
{
    FSheet = TTerrainSheet();
    FOwner = TTerrainOwner{pictureFileName, partSize, partSize * 16};
    FFileName = pictureFileName.isEmpty() ? QString() : TerrainFileName(pictureFileName);
    FEditProblem.clear();
    if (pictureFileName.isEmpty()) {
        FEditProblem = NotSavedText;
    } else {
        const TTerrainRead read = ReadTerrainFile(FFileName, FOwner);
        if (read.State == TTerrainRead::Status::Read)
            FSheet = read.Sheet;
        else if (!read.Usable())
            FEditProblem = QStringLiteral("%1 を地形に使えません: %2")
                               .arg(QFileInfo(FFileName).fileName(), read.Error);
    }
    takeSets();
}

TFileWriteResult TTerrainStore::Edit(const TTerrainSheet& sheet)
{
    if (!FEditProblem.isEmpty())
        return TFileWriteResult{false, FEditProblem, FFileName};
    FSheet = sheet;
    takeSets();
    return WriteTerrainFile(FFileName, FSheet, FOwner);
}

void TTerrainStore::takeSets()
{
    FSets.clear();
    FMatcher.reset();
    for (const TWangSet& set : FSheet.Sets) {
        if (!set.Colors.empty() && !set.Tiles.empty())
            FSets.push_back(set);
    }
    const QString shown = QFileInfo(FFileName).fileName();
    if (!FEditProblem.isEmpty())
        FProblem = FFileName.isEmpty() ? NotSavedText : FEditProblem;
    else if (FSheet.Sets.empty())
        FProblem = QStringLiteral("地形セットがありません（%1）").arg(shown);
    else if (FSets.empty())
        FProblem = QStringLiteral("%1 に使える地形セットがありません").arg(shown);
    else
        FProblem.clear();
    emit setsChanged();
    // The preferred set stays chosen when the sets still have it.
    int keep = 0;
    for (size_t i = 0; i < FSets.size(); ++i) {
        if (FSets[i].Name == FPreferredSet)
            keep = int(i);
    }
    FSet = -2; // whatever Choose is given, the choice is announced
    Choose(keep, FPreferredColor);
}

const TWangSet* TTerrainStore::ChosenSet() const
{
    return FSet >= 0 ? &FSets[size_t(FSet)] : nullptr;
}

void TTerrainStore::Prefer(const QString& setName, int color)
{
    FPreferredSet = setName;
    FPreferredColor = color;
}

void TTerrainStore::Choose(int set, int color)
{
    if (FSets.empty()) {
        set = -1;
        color = 0;
    } else {
        if (set < 0 || set >= int(FSets.size()))
            set = 0;
        if (color < 1 || color > int(FSets[size_t(set)].Colors.size()))
            color = 1;
        FPreferredSet = FSets[size_t(set)].Name;
        FPreferredColor = color;
    }
    if (set == FSet && color == FColor)
        return;
    if (set != FSet) {
        FMatcher = set < 0
                       ? nullptr
                       : std::make_unique<TWangMatcher>(FSets[size_t(set)], FSheet.TileProbability);
    }
    FSet = set;
    FColor = color;
    emit choiceChanged(FSet, FColor);
}
