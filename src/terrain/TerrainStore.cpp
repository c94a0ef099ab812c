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
    const QString fileName =
        pictureFileName.isEmpty() ? QString() : TerrainFileName(pictureFileName);
    const TFileStamp stamp = TFileStamp::Of(fileName);
    const bool same = pictureFileName == FOwner.PictureFileName && partSize == FOwner.PartSize &&
                      FEditProblem.isEmpty();
    // The same parts again (saved or reloaded) while the sets in use could not be written:
    // they are written now, unless another program has changed the file since.
    if (same && FUnwritten && stamp == FStamp) {
        FCarried.reset();
        write();
        return;
    }
    // Edits of other sets, or of the file as it was before another program changed it, are
    // not to be undone into these.
    if (!same || stamp != FStamp)
        ++FGeneration;
    FSheet = TTerrainSheet();
    FOwner = TTerrainOwner{pictureFileName, partSize, partSize * 16};
    FFileName = fileName;
    FStamp = stamp;
    FUnwritten = false;
    FEditProblem.clear();
    std::optional<TTerrainSheet> carried = std::move(FCarried);
    FCarried.reset();
    if (!pictureFileName.isEmpty()) {
        const TTerrainRead read = ReadTerrainFile(FFileName, FOwner);
        const QString shown = QFileInfo(FFileName).fileName();
        if (read.State == TTerrainRead::Status::Read)
            FSheet = read.Sheet;
        else if (!read.Usable()) {
            FEditProblem = QStringLiteral("%1 を地形に使えません: %2").arg(shown, read.Error);
            if (carried)
                emit writeFailed(
                    QStringLiteral("地形セットを %1 に保存できません: %2").arg(shown, read.Error));
        } else if (carried) {
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

// An edit of the sets: the sheet before and after it, and which sets both belong to.
class TTerrainStore::TEditStep : public TUndoStep
{
public:
    TEditStep(TTerrainStore& store, TTerrainSheet before, TTerrainSheet after)
        : FStore(store), FGeneration(store.FGeneration), FBefore(std::move(before)),
          FAfter(std::move(after))
    {
    }
    void Undo() override { put(FBefore); }
    void Redo() override { put(FAfter); }
    qint64 Bytes() const override { return sizeof(*this) + bytesOf(FBefore) + bytesOf(FAfter); }

private:
    void put(const TTerrainSheet& sheet)
    {
        if (FStore.FGeneration == FGeneration && FStore.EditProblem().isEmpty() &&
            FStore.rereadIfChanged().isEmpty())
            FStore.apply(sheet);
    }
    // The nodes kept of another editor's file are copied with each sheet (their texts are
    // shared).
    static qint64 bytesOf(const TXmlNode& node)
    {
        qint64 bytes = qint64(node.Attributes.size() * sizeof(node.Attributes[0]));
        for (const TXmlNode& child : node.Children)
            bytes += sizeof(child) + bytesOf(child);
        return bytes;
    }
    static qint64 bytesOf(const TTerrainSheet& sheet)
    {
        qint64 bytes = bytesOf(sheet.Tileset);
        for (const TWangSet& set : sheet.Sets) {
            bytes += sizeof(set) + bytesOf(set.Kept);
            for (const TWangTile& tile : set.Tiles)
                bytes += sizeof(tile) + bytesOf(tile.Kept);
            for (const TWangColor& color : set.Colors)
                bytes += sizeof(color) + bytesOf(color.Kept);
        }
        return bytes;
    }

    TTerrainStore& FStore;
    quint64 FGeneration;
    TTerrainSheet FBefore;
    TTerrainSheet FAfter;
};

TFileWriteResult TTerrainStore::Edit(const TTerrainSheet& sheet)
{
    if (!FEditProblem.isEmpty())
        return TFileWriteResult{false, FEditProblem, FFileName};
    const QString changed = rereadIfChanged();
    if (!changed.isEmpty())
        return TFileWriteResult{false, changed, FFileName};
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
        emit setsUnwritten();
        return TFileWriteResult{true, {}, {}};
    }
    return write();
}

TFileWriteResult TTerrainStore::write()
{
    const TFileWriteResult written = WriteTerrainFile(FFileName, FSheet, FOwner);
    FUnwritten = !written;
    if (written) {
        FStamp = TFileStamp::Of(FFileName);
    } else {
        emit writeFailed(written.Error);
        emit setsUnwritten();
    }
    return written;
}

QString TTerrainStore::rereadIfChanged()
{
    // A file deleted meanwhile holds nothing to keep: the edit writes it anew.
    const TFileStamp now = TFileStamp::Of(FFileName);
    if (FFileName.isEmpty() || now == FStamp || !now.Exists)
        return {};
    const QString message =
        QStringLiteral("%1 が他のプログラムで変更されたため、読み直しました。編集をもう一度行ってください")
            .arg(QFileInfo(FFileName).fileName());
    Read(FOwner.PictureFileName, FOwner.PartSize);
    emit writeFailed(message);
    return message;
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
    // No set is chosen while the new ones are announced: the old choice may be past them.
    FSet = -2; // whatever Choose is given, the choice is announced
    FColor = 0;
    FMatcher.reset();
    emit setsChanged();
    // The preferred set stays chosen when the sets still have it.
    int keep = 0;
    for (size_t i = 0; i < FSets.size(); ++i) {
        if (FSets[i].Name == FPreferredSet)
            keep = int(i);
    }
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
