#include "TerrainStore.h"

#include "UndoHistory.h"

#include <QFileInfo>

namespace {

const QString NotSavedText = QStringLiteral("パーツ画像が保存されていないため、地形を使えません");

} // namespace

TTerrainStore::TTerrainStore(QObject* parent) : QObject(parent)
{
    FProblem = NotSavedText;
}

TTerrainStore::~TTerrainStore() = default;

void TTerrainStore::Read(const QString& pictureFileName, QSize partSize)
{
    FSheet = TTerrainSheet();
    FOwner = TTerrainOwner{pictureFileName, partSize, partSize * 16};
    FFileName = pictureFileName.isEmpty() ? QString() : TerrainFileName(pictureFileName);
    FEditProblem.clear();
    std::optional<TTerrainSheet> carried = std::move(FCarried);
    FCarried.reset();
    if (!pictureFileName.isEmpty()) {
        const TTerrainRead read = ReadTerrainFile(FFileName, FOwner);
        if (read.State == TTerrainRead::Status::Read)
            FSheet = read.Sheet;
        else if (!read.Usable())
            FEditProblem = QStringLiteral("%1 を地形に使えません: %2")
                               .arg(QFileInfo(FFileName).fileName(), read.Error);
        else if (carried) {
            apply(*carried);
            return;
        }
    }
    takeSets();
}

void TTerrainStore::PartsSaved(const QString& pictureFileName)
{
    if (pictureFileName == FOwner.PictureFileName || !FEditProblem.isEmpty() || FSheet.Sets.empty())
        return;
    // A new file: the old one's tileset element names the old picture.
    TTerrainSheet carried;
    carried.Sets = FSheet.Sets;
    carried.TileProbability = FSheet.TileProbability;
    FCarried = std::move(carried);
}

void TTerrainStore::Adopt(const TTerrainSheet& sheet)
{
    if (!FFileName.isEmpty() || !FEditProblem.isEmpty())
        return; // the parts are a picture's, whose own sets hold
    FSheet = TTerrainSheet();
    FSheet.Sets = sheet.Sets;
    FSheet.TileProbability = sheet.TileProbability;
    takeSets();
}

// An edit of the sets: the sheet before and after it, and the file both belong to.
class TTerrainStore::TEditStep : public TUndoStep
{
public:
    TEditStep(TTerrainStore& store, TTerrainSheet before, TTerrainSheet after)
        : FStore(store), FFileName(store.FileName()), FBefore(std::move(before)),
          FAfter(std::move(after))
    {
    }
    void Undo() override { put(FBefore); }
    void Redo() override { put(FAfter); }
    qint64 Bytes() const override { return sizeof(*this) + bytesOf(FBefore) + bytesOf(FAfter); }

private:
    void put(const TTerrainSheet& sheet)
    {
        if (FStore.FileName() == FFileName && FStore.EditProblem().isEmpty())
            FStore.apply(sheet);
    }
    static qint64 bytesOf(const TTerrainSheet& sheet)
    {
        qint64 bytes = 0;
        for (const TWangSet& set : sheet.Sets)
            bytes += sizeof(set) + set.Tiles.size() * sizeof(TWangTile) +
                     set.Colors.size() * sizeof(TWangColor);
        return bytes;
    }

    TTerrainStore& FStore;
    QString FFileName;
    TTerrainSheet FBefore;
    TTerrainSheet FAfter;
};

TFileWriteResult TTerrainStore::Edit(const TTerrainSheet& sheet)
{
    if (!FEditProblem.isEmpty())
        return TFileWriteResult{false, FEditProblem, FFileName};
    TTerrainSheet before = FSheet;
    const TFileWriteResult written = apply(sheet);
    if (FHistory)
        FHistory->Push(std::make_unique<TEditStep>(*this, std::move(before), FSheet));
    return written;
}

TFileWriteResult TTerrainStore::apply(const TTerrainSheet& sheet)
{
    FSheet = sheet;
    takeSets();
    if (FFileName.isEmpty()) {
        emit heldUntilPartsSaved();
        return TFileWriteResult{true, {}, {}};
    }
    TFileWriteResult written = WriteTerrainFile(FFileName, FSheet, FOwner);
    if (!written)
        emit writeFailed(written.Error);
    return written;
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
        FProblem = FEditProblem;
    else if (FFileName.isEmpty() && FSets.empty())
        FProblem = NotSavedText;
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
