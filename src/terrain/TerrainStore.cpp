#include "TerrainStore.h"

#include <QFileInfo>

TTerrainStore::TTerrainStore(QObject* parent) : QObject(parent)
{
    FTileProbability.fill(1.0);
    FProblem = QStringLiteral("パーツ画像が保存されていないため、地形を使えません");
}

TTerrainStore::~TTerrainStore() = default;

void TTerrainStore::Read(const QString& pictureFileName, QSize partSize)
{
    const QString oldName = FSets.empty() || FSet < 0 ? QString() : FSets[size_t(FSet)].Name;
    FSets.clear();
    FMatcher.reset();
    FTileProbability.fill(1.0);
    FFileName = pictureFileName.isEmpty() ? QString() : TerrainFileName(pictureFileName);
    if (pictureFileName.isEmpty()) {
        FProblem = QStringLiteral("パーツ画像が保存されていないため、地形を使えません");
    } else {
        const TTerrainRead read =
            ReadTerrainFile(FFileName, TTerrainOwner{pictureFileName, partSize, {}});
        const QString shown = QFileInfo(FFileName).fileName();
        switch (read.State) {
        case TTerrainRead::Status::Missing:
            FProblem = QStringLiteral("地形セットがありません（%1）").arg(shown);
            break;
        case TTerrainRead::Status::Foreign:
        case TTerrainRead::Status::Bad:
            FProblem = QStringLiteral("%1 を地形に使えません: %2").arg(shown, read.Error);
            break;
        case TTerrainRead::Status::Read:
            FTileProbability = read.Sheet.TileProbability;
            for (const TWangSet& set : read.Sheet.Sets) {
                if (!set.Colors.empty() && !set.Tiles.empty())
                    FSets.push_back(set);
            }
            FProblem = FSets.empty()
                           ? QStringLiteral("%1 に使える地形セットがありません").arg(shown)
                           : QString();
            break;
        }
    }
    emit setsChanged();
    // The set of the same name stays chosen when the file still has it.
    int keep = 0;
    for (size_t i = 0; i < FSets.size(); ++i) {
        if (FSets[i].Name == oldName)
            keep = int(i);
    }
    const int color = FColor;
    FSet = -2; // whatever Choose is given, the choice is announced
    Choose(keep, color);
}

const TWangSet* TTerrainStore::ChosenSet() const
{
    return FSet >= 0 ? &FSets[size_t(FSet)] : nullptr;
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
    }
    if (set == FSet && color == FColor)
        return;
    if (set != FSet) {
        FMatcher = set < 0 ? nullptr
                           : std::make_unique<TWangMatcher>(FSets[size_t(set)], FTileProbability);
    }
    FSet = set;
    FColor = color;
    emit choiceChanged(FSet, FColor);
}
