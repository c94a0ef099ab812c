#include "TerrainFile.h"

#include "TmxXml.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <charconv>
#include <map>
#include <set>

using namespace TmxDetail;

namespace {

// A terrain file of 256 parts is a few hundred kilobytes at most; what is far beyond that is
// not one.
constexpr qint64 MaxFileBytes = qint64(32) << 20;
constexpr int MaxDepth = 32;
constexpr qint64 MaxNodes = 500000;
constexpr int MaxSets = 1024;

struct TBad
{
    QString Reason;
};

[[noreturn]] void bad(const QString& reason)
{
    throw TBad{reason};
}

QString number(double value)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, r.ptr - buffer);
}

int intValue(QStringView text, int low, int high, const QString& what)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < low || v > high)
        bad(QStringLiteral("%1 is %2, not a number from %3 to %4")
                .arg(what, Quoted(text))
                .arg(low)
                .arg(high));
    return int(v);
}

double probabilityValue(QStringView text, const QString& what)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !(v >= 0) || v > 1e9)
        bad(QStringLiteral("%1 is %2, not a probability").arg(what, Quoted(text)));
    return v;
}

// Reads the element the reader stands on, with everything in it, as a node.
class TTreeReader
{
public:
    explicit TTreeReader(QXmlStreamReader& xml, qint64 maxNodes = MaxNodes)
        : FXml(xml), FMaxNodes(maxNodes)
    {
    }
    qint64 nodes() const { return FNodes; }

    TXmlNode element(int depth = 0)
    {
        if (depth > MaxDepth)
            bad(QStringLiteral("elements are nested more than %1 deep").arg(MaxDepth));
        TXmlNode node;
        node.Name = FXml.name().toString();
        for (const QXmlStreamAttribute& a : FXml.attributes())
            node.Attributes.emplace_back(a.qualifiedName().toString(), a.value().toString());
        while (!FXml.atEnd()) {
            const auto token = FXml.readNext();
            if (token == QXmlStreamReader::EndElement)
                return node;
            if (++FNodes > FMaxNodes)
                bad(QStringLiteral("more than %1 XML nodes in terrain sets").arg(MaxNodes));
            TXmlNode child;
            switch (token) {
            case QXmlStreamReader::StartElement:
                node.Children.push_back(element(depth + 1));
                continue;
            case QXmlStreamReader::Characters:
                if (FXml.isWhitespace())
                    continue;
                child.NodeKind = FXml.isCDATA() ? TXmlNode::Kind::CData : TXmlNode::Kind::Text;
                child.Text = FXml.text().toString();
                break;
            case QXmlStreamReader::Comment:
                child.NodeKind = TXmlNode::Kind::Comment;
                child.Text = FXml.text().toString();
                break;
            case QXmlStreamReader::ProcessingInstruction:
                child.NodeKind = TXmlNode::Kind::Instruction;
                child.Name = FXml.processingInstructionTarget().toString();
                child.Text = FXml.processingInstructionData().toString();
                break;
            default:
                continue;
            }
            node.Children.push_back(std::move(child));
        }
        return node;
    }

private:
    QXmlStreamReader& FXml;
    qint64 FMaxNodes;
    qint64 FNodes = 0;
};

// Takes the attributes the program uses out of a node; what is left stays in it.
std::optional<QString> take(TXmlNode& node, QStringView name)
{
    for (auto it = node.Attributes.begin(); it != node.Attributes.end(); ++it) {
        if (it->first == name) {
            QString value = std::move(it->second);
            node.Attributes.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

TWangId wangIdValue(QStringView text, int colors, const QString& what)
{
    TWangId id{};
    const auto parts = text.split(u',');
    if (parts.size() != 8)
        bad(QStringLiteral("%1 is %2, not eight colour numbers").arg(what, Quoted(text)));
    for (int i = 0; i < 8; ++i)
        id[i] = uint8_t(intValue(parts[i], 0, colors, what));
    return id;
}

TWangSet readSet(TXmlNode node, int maxTile)
{
    TWangSet set;
    set.Name = take(node, u"name").value_or(QString());
    const QString where = QStringLiteral("terrain set %1").arg(Quoted(set.Name));
    const QString type = take(node, u"type").value_or(QStringLiteral("corner"));
    if (type == u"corner")
        set.Type = TWangType::Corner;
    else if (type == u"edge")
        set.Type = TWangType::Edge;
    else if (type == u"mixed")
        set.Type = TWangType::Mixed;
    else
        bad(QStringLiteral("%1 has the type %2, not corner, edge or mixed")
                .arg(where, Quoted(type)));
    if (const auto tile = take(node, u"tile"))
        set.Tile = intValue(*tile, -1, maxTile, where + QStringLiteral(": tile"));

    std::vector<TXmlNode> kept;
    std::vector<TXmlNode> tiles;
    for (TXmlNode& child : node.Children) {
        if (child.NodeKind == TXmlNode::Kind::Element && child.Name == u"wangcolor") {
            if (set.Colors.size() >= size_t(Wang::MaxColors))
                bad(QStringLiteral("%1 has more than %2 colours").arg(where).arg(Wang::MaxColors));
            TWangColor c;
            c.Name = take(child, u"name").value_or(QString());
            const QString colorText = take(child, u"color").value_or(QStringLiteral("#000000"));
            c.Color = QColor(colorText);
            if (!c.Color.isValid())
                bad(QStringLiteral("%1: the colour %2 is no colour").arg(where, Quoted(colorText)));
            if (const auto tile = take(child, u"tile"))
                c.Tile = intValue(*tile, -1, maxTile, where + QStringLiteral(": colour tile"));
            if (const auto p = take(child, u"probability"))
                c.Probability =
                    probabilityValue(*p, where + QStringLiteral(": colour probability"));
            c.Kept = std::move(child);
            c.Kept.Name.clear();
            set.Colors.push_back(std::move(c));
        } else if (child.NodeKind == TXmlNode::Kind::Element && child.Name == u"wangtile") {
            tiles.push_back(std::move(child));
        } else {
            kept.push_back(std::move(child));
        }
    }
    // The colours may follow the tiles that use them.
    std::set<int> seen;
    for (TXmlNode& child : tiles) {
        TWangTile t;
        const auto id = take(child, u"tileid");
        const auto wangId = take(child, u"wangid");
        if (!id || !wangId)
            bad(where + QStringLiteral(": a <wangtile> without tileid or wangid"));
        t.TileId = intValue(*id, 0, maxTile, where + QStringLiteral(": tileid"));
        t.WangId = wangIdValue(*wangId, int(set.Colors.size()), where + QStringLiteral(": wangid"));
        if (!seen.insert(t.TileId).second)
            bad(QStringLiteral("%1: part %2 is listed twice").arg(where).arg(t.TileId));
        t.Kept = std::move(child);
        t.Kept.Name.clear();
        set.Tiles.push_back(std::move(t));
    }
    node.Children = std::move(kept);
    node.Name.clear();
    set.Kept = std::move(node);
    return set;
}

// Why the tileset is not the picture's own, or empty when it is.
QString foreignReason(const TXmlNode& tileset, const QString& folder, const TTerrainOwner& owner)
{
    if (owner.PictureFileName.isEmpty())
        return QString();
    const QString* tw = tileset.Attribute(u"tilewidth");
    const QString* th = tileset.Attribute(u"tileheight");
    const int w = tw ? tw->toInt() : 0;
    const int h = th ? th->toInt() : 0;
    if (w != owner.PartSize.width() || h != owner.PartSize.height())
        return QStringLiteral("its tiles are %1 x %2 pixels, the parts %3 x %4")
            .arg(w)
            .arg(h)
            .arg(owner.PartSize.width())
            .arg(owner.PartSize.height());
    const TXmlNode* image = nullptr;
    for (const TXmlNode& child : tileset.Children) {
        if (child.NodeKind == TXmlNode::Kind::Element && child.Name == u"image")
            image = &child;
    }
    const QString* source = image ? image->Attribute(u"source") : nullptr;
    if (!source)
        return QStringLiteral("it is not made of one picture");
    const QFileInfo named(QDir(folder).filePath(*source));
    const QFileInfo picture(owner.PictureFileName);
    const bool same = named.exists() && picture.exists()
                          ? named.canonicalFilePath() == picture.canonicalFilePath()
                          : named.absoluteFilePath() == picture.absoluteFilePath();
    if (!same)
        return QStringLiteral("it belongs to the picture %1")
            .arg(Quoted(*source, MaxQuotedFileName));
    return QString();
}

void readSheet(TXmlNode root, TTerrainSheet& sheet)
{
    std::vector<TXmlNode> children;
    for (TXmlNode& child : root.Children) {
        if (child.NodeKind != TXmlNode::Kind::Element) {
            children.push_back(std::move(child));
            continue;
        }
        if (child.Name == u"wangsets") {
            if (sheet.SetsPosition >= 0)
                bad(QStringLiteral("two <wangsets> in one tileset"));
            sheet.SetsPosition = int(children.size());
            for (TXmlNode& set : child.Children) {
                if (set.NodeKind != TXmlNode::Kind::Element || set.Name != u"wangset")
                    continue; // comments and the like between the sets
                if (sheet.Sets.size() >= size_t(MaxSets))
                    bad(QStringLiteral("more than %1 terrain sets").arg(MaxSets));
                sheet.Sets.push_back(readSet(std::move(set), TTerrainSheet::Parts - 1));
            }
            continue;
        }
        if (child.Name == u"tile") {
            const QString* id = child.Attribute(u"id");
            const QString* p = child.Attribute(u"probability");
            if (id && p) {
                const int part =
                    intValue(*id, 0, TTerrainSheet::Parts - 1, QStringLiteral("tile id"));
                sheet.TileProbability[part] =
                    probabilityValue(*p, QStringLiteral("tile probability"));
            }
        }
        children.push_back(std::move(child));
    }
    root.Children = std::move(children);
    sheet.Tileset = std::move(root);
}

void writeNode(QXmlStreamWriter& xml, const TXmlNode& node)
{
    switch (node.NodeKind) {
    case TXmlNode::Kind::Element:
        xml.writeStartElement(node.Name);
        for (const auto& [name, value] : node.Attributes)
            xml.writeAttribute(name, value);
        for (const TXmlNode& child : node.Children)
            writeNode(xml, child);
        xml.writeEndElement();
        break;
    case TXmlNode::Kind::Text:
        xml.writeCharacters(node.Text);
        break;
    case TXmlNode::Kind::CData:
        xml.writeCDATA(node.Text);
        break;
    case TXmlNode::Kind::Comment:
        xml.writeComment(node.Text);
        break;
    case TXmlNode::Kind::Instruction:
        xml.writeProcessingInstruction(node.Name, node.Text);
        break;
    }
}

// An element with the program's attributes first, then those it kept, then `children`
// after the kept children.
TXmlNode element(const QString& name, std::vector<std::pair<QString, QString>> attributes,
                 const TXmlNode& kept, std::vector<TXmlNode> children = {})
{
    TXmlNode node;
    node.Name = name;
    node.Attributes = std::move(attributes);
    node.Attributes.insert(node.Attributes.end(), kept.Attributes.begin(), kept.Attributes.end());
    node.Children = kept.Children;
    for (TXmlNode& child : children)
        node.Children.push_back(std::move(child));
    return node;
}

TXmlNode setsNode(const std::vector<TWangSet>& sets)
{
    TXmlNode wangsets;
    wangsets.Name = QStringLiteral("wangsets");
    for (const TWangSet& set : sets) {
        std::vector<TXmlNode> children;
        for (const TWangColor& c : set.Colors) {
            std::vector<std::pair<QString, QString>> a{
                {QStringLiteral("name"), c.Name},
                {QStringLiteral("color"),
                 c.Color.name(c.Color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb)},
                {QStringLiteral("tile"), QString::number(c.Tile)},
                {QStringLiteral("probability"), number(c.Probability)}};
            children.push_back(element(QStringLiteral("wangcolor"), std::move(a), c.Kept));
        }
        for (const TWangTile& t : set.Tiles) {
            QStringList id;
            for (uint8_t c : t.WangId)
                id << QString::number(c);
            children.push_back(element(QStringLiteral("wangtile"),
                                       {{QStringLiteral("tileid"), QString::number(t.TileId)},
                                        {QStringLiteral("wangid"), id.join(u',')}},
                                       t.Kept));
        }
        wangsets.Children.push_back(element(QStringLiteral("wangset"),
                                            {{QStringLiteral("name"), set.Name},
                                             {QStringLiteral("type"), WangTypeName(set.Type)},
                                             {QStringLiteral("tile"), QString::number(set.Tile)}},
                                            set.Kept, std::move(children)));
    }
    return wangsets;
}

TXmlNode newTileset(const QString& folder, const TTerrainOwner& owner)
{
    TXmlNode root;
    root.Name = QStringLiteral("tileset");
    const QFileInfo picture(owner.PictureFileName);
    root.Attributes = {{QStringLiteral("version"), QStringLiteral("1.8")},
                       {QStringLiteral("name"), picture.completeBaseName()},
                       {QStringLiteral("tilewidth"), QString::number(owner.PartSize.width())},
                       {QStringLiteral("tileheight"), QString::number(owner.PartSize.height())},
                       {QStringLiteral("tilecount"), QString::number(TTerrainSheet::Parts)},
                       {QStringLiteral("columns"), QStringLiteral("16")}};
    TXmlNode image;
    image.Name = QStringLiteral("image");
    image.Attributes = {
        {QStringLiteral("source"), QDir(folder).relativeFilePath(picture.absoluteFilePath())},
        {QStringLiteral("width"), QString::number(owner.PictureSize.width())},
        {QStringLiteral("height"), QString::number(owner.PictureSize.height())}};
    root.Children.push_back(std::move(image));
    return root;
}

// The tileset with the parts' probabilities as the sheet has them now, and the sets in place.
TXmlNode tilesetToWrite(const TTerrainSheet& sheet, const QString& folder,
                        const TTerrainOwner& owner)
{
    TXmlNode root = sheet.Tileset.Name.isEmpty() ? newTileset(folder, owner) : sheet.Tileset;
    std::vector<bool> done(TTerrainSheet::Parts, false);
    std::vector<TXmlNode> children;
    for (TXmlNode& child : root.Children) {
        if (child.NodeKind == TXmlNode::Kind::Element && child.Name == u"tile") {
            const QString* idText = child.Attribute(u"id");
            bool ok = false;
            const int id = idText ? idText->toInt(&ok) : -1;
            if (ok && id >= 0 && id < TTerrainSheet::Parts) {
                done[id] = true;
                const double p = sheet.TileProbability[id];
                if (p != 1.0)
                    child.SetAttribute(QStringLiteral("probability"), number(p));
                else
                    child.RemoveAttribute(u"probability");
                if (child.Attributes.size() == 1 && child.Children.empty())
                    continue; // nothing left to say about the part
            }
        }
        children.push_back(std::move(child));
    }
    int position = sheet.SetsPosition < 0 ? int(children.size())
                                          : std::min(sheet.SetsPosition, int(children.size()));
    for (int id = 0; id < TTerrainSheet::Parts; ++id) {
        if (done[id] || sheet.TileProbability[id] == 1.0)
            continue;
        TXmlNode tile;
        tile.Name = QStringLiteral("tile");
        tile.Attributes = {{QStringLiteral("id"), QString::number(id)},
                           {QStringLiteral("probability"), number(sheet.TileProbability[id])}};
        children.insert(children.begin() + position++, std::move(tile));
    }
    if (!sheet.Sets.empty())
        children.insert(children.begin() + position, setsNode(sheet.Sets));
    root.Children = std::move(children);
    return root;
}

} // namespace

const QString* TXmlNode::Attribute(QStringView name) const
{
    for (const auto& [n, value] : Attributes) {
        if (n == name)
            return &value;
    }
    return nullptr;
}

void TXmlNode::SetAttribute(const QString& name, const QString& value)
{
    for (auto& [n, v] : Attributes) {
        if (n == name) {
            v = value;
            return;
        }
    }
    Attributes.emplace_back(name, value);
}

void TXmlNode::RemoveAttribute(QStringView name)
{
    std::erase_if(Attributes, [name](const auto& a) { return a.first == name; });
}

QString WangTypeName(TWangType type)
{
    switch (type) {
    case TWangType::Corner:
        return QStringLiteral("corner");
    case TWangType::Edge:
        return QStringLiteral("edge");
    case TWangType::Mixed:
        break;
    }
    return QStringLiteral("mixed");
}

QString TerrainFileName(const QString& pictureFileName)
{
    const QFileInfo info(pictureFileName);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".tsx"));
}

TTerrainRead ReadTerrainData(QIODevice& in, const QString& folder, const TTerrainOwner& owner)
{
    TTerrainRead result;
    try {
        TXmlGuard guard(in);
        QXmlStreamReader xml(&guard);
        const QString refused = ReadToDocumentElement(xml);
        if (!refused.isEmpty())
            bad(refused);
        if (guard.Refused())
            bad(QStringLiteral("an element has more than %1 attributes").arg(MaxXmlAttributes));
        if (xml.tokenType() != QXmlStreamReader::StartElement || xml.name() != u"tileset")
            bad(xml.hasError() ? xml.errorString() : QStringLiteral("it is not a tileset file"));
        TXmlNode root = TTreeReader(xml).element();
        if (guard.Refused())
            bad(QStringLiteral("an element has more than %1 attributes").arg(MaxXmlAttributes));
        if (xml.hasError())
            bad(QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
        const QString foreign = foreignReason(root, folder, owner);
        if (!foreign.isEmpty()) {
            result.State = TTerrainRead::Status::Foreign;
            result.Error = QStringLiteral("another tileset: %1").arg(foreign);
            return result;
        }
        const QString* tw = root.Attribute(u"tilewidth");
        const QString* th = root.Attribute(u"tileheight");
        if (!tw || !th)
            bad(QStringLiteral("the tileset has no tile size"));
        result.Sheet.TileSize = QSize(intValue(*tw, 1, 65535, QStringLiteral("tilewidth")),
                                      intValue(*th, 1, 65535, QStringLiteral("tileheight")));
        readSheet(std::move(root), result.Sheet);
        result.State = TTerrainRead::Status::Read;
    } catch (const TBad& e) {
        result = {};
        result.State = TTerrainRead::Status::Bad;
        result.Error = e.Reason;
    }
    return result;
}

TTerrainRead ReadTerrainFile(const QString& fileName, const TTerrainOwner& owner)
{
    TTerrainRead result;
    const QFileInfo info(fileName);
    if (!info.exists() && !info.isSymLink())
        return result;
    QFile file(fileName);
    result.State = TTerrainRead::Status::Bad;
    if (!info.isFile()) {
        result.Error = QStringLiteral("it is not a regular file");
    } else if (info.size() > MaxFileBytes) {
        result.Error = QStringLiteral("it is larger than %1 MB").arg(MaxFileBytes >> 20);
    } else if (!file.open(QIODevice::ReadOnly)) {
        result.Error = file.errorString();
    } else {
        result = ReadTerrainData(file, info.absolutePath(), owner);
    }
    if (!result.Error.isEmpty())
        result.Error =
            QStringLiteral("%1: %2").arg(Quoted(fileName, MaxQuotedFileName), result.Error);
    return result;
}

bool WriteTerrainData(QIODevice& out, const TTerrainSheet& sheet, const QString& folder,
                      const TTerrainOwner& owner)
{
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    writeNode(xml, tilesetToWrite(sheet, folder, owner));
    xml.writeEndDocument();
    return !xml.hasError();
}

TFileWriteResult WriteTerrainFile(const QString& fileName, const TTerrainSheet& sheet,
                                  const TTerrainOwner& owner)
{
    const TTerrainRead existing = ReadTerrainFile(fileName, owner);
    if (!existing.Usable()) {
        TFileWriteResult refused;
        refused.FileName = fileName;
        refused.Error = QStringLiteral("not replaced, %1").arg(existing.Error);
        return refused;
    }
    // A sheet made without the file takes what the file keeps.
    TTerrainSheet merged = sheet;
    if (merged.Tileset.Name.isEmpty() && existing.State == TTerrainRead::Status::Read) {
        merged.Tileset = existing.Sheet.Tileset;
        merged.SetsPosition = existing.Sheet.SetsPosition;
    }
    const QString folder = QFileInfo(fileName).absolutePath();
    return WriteFileWhole(
        fileName, [&](QIODevice& out) { return WriteTerrainData(out, merged, folder, owner); });
}

bool ReadWangSets(QXmlStreamReader& xml, int tileCount, qint64& nodesLeft,
                  std::vector<TWangSet>& sets, QString* error)
{
    try {
        TTreeReader reader(xml, std::max<qint64>(nodesLeft, 0));
        TXmlNode node = reader.element();
        nodesLeft -= reader.nodes();
        if (xml.hasError())
            bad(QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
        for (TXmlNode& set : node.Children) {
            if (set.NodeKind != TXmlNode::Kind::Element || set.Name != u"wangset")
                continue;
            if (sets.size() >= size_t(MaxSets))
                bad(QStringLiteral("more than %1 terrain sets").arg(MaxSets));
            sets.push_back(readSet(std::move(set), tileCount - 1));
        }
        return true;
    } catch (const TBad& e) {
        if (error)
            *error = e.Reason;
    }
    return false;
}

void WriteWangSets(QXmlStreamWriter& xml, const TTerrainSheet& sheet)
{
    for (int id = 0; id < TTerrainSheet::Parts; ++id) {
        if (sheet.TileProbability[id] == 1.0)
            continue;
        xml.writeEmptyElement(QStringLiteral("tile"));
        xml.writeAttribute(QStringLiteral("id"), QString::number(id));
        xml.writeAttribute(QStringLiteral("probability"), number(sheet.TileProbability[id]));
    }
    if (!sheet.Sets.empty())
        writeNode(xml, setsNode(sheet.Sets));
}
