// Draws the demo parts sheet and paints the demo map that the screenshots show:
//   qm_demogen <output folder>
// writes demo-parts.png (16 x 16 parts of 32 x 32: sixteen kinds of ground, water, plants
// and walls, one colour scheme a row) and demo.mpd (a type 2 map of a little landscape
// painted with the first row). Everything is drawn by code from a fixed seed, so the files
// come out the same on every run.

#include "MapDocument.h"
#include "MapFile.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

namespace {

constexpr int Side = 32;
constexpr int SheetSide = 16;

// The kinds of part, in the order of a row of the sheet.
enum TKind : uint8_t
{
    Grass,
    GrassFlowers,
    GrassTufts,
    Sand,
    SandPebbles,
    Water,
    WaterWaves,
    Path,
    Cobbles,
    Tree,
    Pine,
    Bush,
    Wall,
    Planks,
    Rock,
    Bridge,
};

// A colour scheme: every colour a part uses passes through it.
using TScheme = std::function<QColor(const QColor&)>;

// Random numbers that are the same on every platform: the engine's raw output only.
class TDice
{
public:
    explicit TDice(uint32_t seed) : FEngine(seed) {}
    int Below(int n) { return int(FEngine() % uint32_t(n)); }

private:
    std::mt19937 FEngine;
};

QColor shade(const QColor& c, int percent)
{
    return percent >= 100 ? c.lighter(percent) : c.darker(10000 / percent);
}

void speckle(QPainter& p, TDice& dice, const QRect& r, const QColor& c, int count, int size = 1)
{
    for (int i = 0; i < count; ++i)
        p.fillRect(r.x() + dice.Below(r.width() - size + 1),
                   r.y() + dice.Below(r.height() - size + 1), size, size, c);
}

void drawGround(QPainter& p, TDice& dice, const QColor& base)
{
    p.fillRect(0, 0, Side, Side, base);
    speckle(p, dice, QRect(0, 0, Side, Side), shade(base, 112), 40);
    speckle(p, dice, QRect(0, 0, Side, Side), shade(base, 88), 40);
}

void drawWater(QPainter& p, TDice& dice, const TScheme& s, bool waves)
{
    const QColor water = s(QColor(0x2f, 0x6f, 0xb8));
    p.fillRect(0, 0, Side, Side, water);
    speckle(p, dice, QRect(0, 0, Side, Side), shade(water, 92), 30);
    p.setPen(QPen(shade(water, 130), 1));
    const int count = waves ? 5 : 2;
    for (int i = 0; i < count; ++i) {
        const int x = dice.Below(Side - 8);
        const int y = 3 + dice.Below(Side - 6);
        p.drawLine(x, y, x + 2, y - 1);
        p.drawLine(x + 3, y - 1, x + 5, y);
    }
    if (waves)
        speckle(p, dice, QRect(2, 2, Side - 4, Side - 4), s(QColor(0xe8, 0xf4, 0xff)), 4);
}

void drawTree(QPainter& p, TDice& dice, const TScheme& s)
{
    p.fillRect(14, 20, 4, 9, s(QColor(0x6b, 0x46, 0x23)));
    p.setPen(Qt::NoPen);
    p.setBrush(s(QColor(0x1e, 0x5c, 0x1e)));
    p.drawEllipse(QRect(4, 2, 24, 21));
    p.setBrush(s(QColor(0x2e, 0x7d, 0x2b)));
    p.drawEllipse(QRect(7, 4, 17, 15));
    speckle(p, dice, QRect(8, 5, 14, 12), s(QColor(0x4f, 0xa0, 0x45)), 10, 2);
}

void drawPine(QPainter& p, const TScheme& s)
{
    p.fillRect(14, 24, 4, 6, s(QColor(0x5a, 0x3a, 0x1d)));
    p.setPen(Qt::NoPen);
    const std::array<QColor, 3> greens = {s(QColor(0x17, 0x4d, 0x2a)), s(QColor(0x1f, 0x61, 0x35)),
                                          s(QColor(0x2a, 0x75, 0x40))};
    for (int tier = 0; tier < 3; ++tier) {
        const int top = 2 + tier * 6;
        const int half = 6 + tier * 3;
        QPainterPath tri;
        tri.moveTo(16, top);
        tri.lineTo(16 + half, top + 11);
        tri.lineTo(16 - half, top + 11);
        tri.closeSubpath();
        p.fillPath(tri, greens[tier]);
    }
}

void drawBush(QPainter& p, TDice& dice, const TScheme& s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(s(QColor(0x2a, 0x6e, 0x24)));
    p.drawEllipse(QRect(3, 12, 16, 15));
    p.drawEllipse(QRect(12, 10, 17, 17));
    speckle(p, dice, QRect(6, 13, 20, 12), s(QColor(0xd0, 0x3a, 0x4a)), 6, 2);
}

void drawWall(QPainter& p, TDice& dice, const TScheme& s)
{
    const QColor mortar = s(QColor(0x5c, 0x58, 0x52));
    p.fillRect(0, 0, Side, Side, mortar);
    for (int row = 0; row < 4; ++row) {
        const int offset = row % 2 ? 8 : 0;
        for (int x = -offset; x < Side; x += 16) {
            const QColor stone = s(QColor(0x9a, 0x94, 0x8a)).darker(100 + dice.Below(18));
            p.fillRect(QRect(x + 1, row * 8 + 1, 14, 6).intersected(QRect(0, 0, Side, Side)),
                       stone);
        }
    }
    p.fillRect(0, 0, Side, 1, s(QColor(0xc4, 0xbe, 0xb3)));
}

void drawPlanks(QPainter& p, TDice& dice, const TScheme& s, bool overWater)
{
    if (overWater)
        drawWater(p, dice, s, false);
    const QColor wood = s(QColor(0xa8, 0x74, 0x3e));
    const int inset = overWater ? 2 : 0;
    for (int x = 0; x < Side; x += 8) {
        p.fillRect(x, inset, 7, Side - 2 * inset, wood.darker(100 + dice.Below(20)));
        p.fillRect(x + 7, inset, 1, Side - 2 * inset, shade(wood, 55));
        p.fillRect(x + 3, inset + 3 + dice.Below(Side - 8), 1, 2, shade(wood, 70));
    }
    if (overWater) {
        p.fillRect(0, inset, Side, 1, shade(wood, 60));
        p.fillRect(0, Side - inset - 1, Side, 1, shade(wood, 60));
    }
}

void drawRock(QPainter& p, const TScheme& s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(s(QColor(0x6e, 0x6c, 0x68)));
    p.drawEllipse(QRect(5, 11, 22, 17));
    p.setBrush(s(QColor(0x94, 0x92, 0x8c)));
    p.drawEllipse(QRect(8, 12, 13, 9));
}

void drawPart(QPainter& p, TKind kind, const TScheme& s, uint32_t seed)
{
    TDice dice(seed);
    const QColor grass = s(QColor(0x5c, 0xa0, 0x3c));
    const QColor sand = s(QColor(0xe0, 0xc8, 0x8a));
    const QColor dirt = s(QColor(0xb0, 0x8a, 0x58));
    switch (kind) {
    case Grass:
        drawGround(p, dice, grass);
        break;
    case GrassFlowers:
        drawGround(p, dice, grass);
        for (const QColor& petal :
             {QColor(0xf4, 0xe2, 0x42), QColor(0xf0, 0xf0, 0xf0), QColor(0xe2, 0x5a, 0x8c)})
            speckle(p, dice, QRect(2, 2, Side - 4, Side - 4), s(petal), 3, 2);
        break;
    case GrassTufts:
        drawGround(p, dice, grass);
        p.setPen(QPen(shade(grass, 70), 1));
        for (int i = 0; i < 6; ++i) {
            const int x = 3 + dice.Below(Side - 6);
            const int y = 6 + dice.Below(Side - 8);
            p.drawLine(x, y, x - 1, y - 4);
            p.drawLine(x + 1, y, x + 2, y - 4);
        }
        break;
    case Sand:
        drawGround(p, dice, sand);
        break;
    case SandPebbles:
        drawGround(p, dice, sand);
        speckle(p, dice, QRect(2, 2, Side - 4, Side - 4), s(QColor(0x8c, 0x84, 0x78)), 7, 2);
        break;
    case Water:
    case WaterWaves:
        drawWater(p, dice, s, kind == WaterWaves);
        break;
    case Path:
        drawGround(p, dice, dirt);
        break;
    case Cobbles:
        p.fillRect(0, 0, Side, Side, shade(dirt, 70));
        for (int y = 0; y < Side; y += 8)
            for (int x = (y / 8) % 2 * 4; x < Side + 4; x += 8)
                p.fillRect(QRect(x - 3, y + 1, 6, 6).intersected(QRect(0, 0, Side, Side)),
                           s(QColor(0xa8, 0xa0, 0x94)).darker(100 + dice.Below(25)));
        break;
    case Tree:
        drawGround(p, dice, grass);
        drawTree(p, dice, s);
        break;
    case Pine:
        drawGround(p, dice, grass);
        drawPine(p, s);
        break;
    case Bush:
        drawGround(p, dice, grass);
        drawBush(p, dice, s);
        break;
    case Wall:
        drawWall(p, dice, s);
        break;
    case Planks:
        drawPlanks(p, dice, s, false);
        break;
    case Rock:
        drawGround(p, dice, grass);
        drawRock(p, s);
        break;
    case Bridge:
        drawPlanks(p, dice, s, true);
        break;
    }
}

// The sheet's rows: daylight, autumn, snow, dusk, night, then the daylight scheme turned
// round the colour wheel for fanciful worlds.
TScheme schemeOfRow(int row)
{
    const auto isGreen = [](const QColor& c) { return c.hsvHue() >= 60 && c.hsvHue() <= 170; };
    switch (row) {
    case 0:
        return [](const QColor& c) { return c; };
    case 1:
        return [isGreen](const QColor& c) {
            return isGreen(c) ? QColor::fromHsv(25 + c.hsvHue() % 20, c.hsvSaturation(), c.value())
                              : c;
        };
    case 2:
        return [isGreen](const QColor& c) {
            if (isGreen(c) && c.value() > 120)
                return QColor::fromHsv(210, 20, std::min(255, c.value() + 110));
            return QColor::fromHsv(c.hsvHue(), c.hsvSaturation() / 2,
                                   std::min(255, c.value() + 40));
        };
    case 3:
        return [](const QColor& c) {
            return QColor::fromHsv((c.hsvHue() + 350) % 360, c.hsvSaturation(), c.value() * 3 / 4);
        };
    case 4:
        return [](const QColor& c) {
            return QColor::fromHsv((c.hsvHue() * 3 + 230) / 4, c.hsvSaturation() / 2,
                                   c.value() / 2);
        };
    default:
        break;
    }
    const int turn = (row - 4) * 30;
    return [turn](const QColor& c) {
        return QColor::fromHsv((std::max(0, c.hsvHue()) + turn) % 360, c.hsvSaturation(),
                               c.value());
    };
}

QImage drawSheet()
{
    QImage sheet(SheetSide * Side, SheetSide * Side, QImage::Format_RGB32);
    sheet.fill(Qt::black);
    QPainter p(&sheet);
    for (int row = 0; row < SheetSide; ++row) {
        const TScheme scheme = schemeOfRow(row);
        for (int col = 0; col < SheetSide; ++col) {
            p.save();
            p.translate(col * Side, row * Side);
            p.setClipRect(0, 0, Side, Side);
            // The same seed in every row: a row differs from the first in colours only.
            drawPart(p, TKind(col), scheme, 1000u + uint32_t(col));
            p.restore();
        }
    }
    return sheet;
}

// A river with sandy banks and a bridge, a path, a walled yard with a hut, woods, a pond.
void paintMap(TMapDocument& doc)
{
    constexpr int Width = 40;
    constexpr int Height = 28;
    doc.NewMap(Width, Height);
    TDice dice(7);
    const auto set = [&doc](int x, int y, uint8_t part) {
        if (x >= 0 && y >= 0 && x < doc.MapWidth() && y < doc.MapHeight())
            doc.SetCell(x, y, part);
    };
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const int roll = dice.Below(100);
            set(x, y, roll < 12 ? GrassFlowers : roll < 24 ? GrassTufts : Grass);
        }
    }
    // Woods: round trees in the north-east, pines in the south-west.
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const int roll = dice.Below(100);
            if (x >= 21 && y <= 6 && roll < 60)
                set(x, y, roll < 45 ? Tree : Bush);
            else if (x <= 11 && y >= 12 && roll < 55)
                set(x, y, roll < 40 ? Pine : Tree);
            else if (roll < 2)
                set(x, y, Rock);
        }
    }
    // The river winds down the map, three cells wide, with a bank of sand on either side.
    for (int y = 0; y < Height; ++y) {
        const int centre = 16 + int(std::lround(2.5 * std::sin(y / 4.0)));
        for (int x = centre - 2; x <= centre + 2; ++x) {
            const bool bank = x == centre - 2 || x == centre + 2;
            const int roll = dice.Below(100);
            set(x, y, bank ? (roll < 25 ? SandPebbles : Sand) : (roll < 30 ? WaterWaves : Water));
        }
    }
    // A pond in the east, rimmed with sand.
    for (int y = 10; y <= 18; ++y) {
        for (int x = 27; x <= 37; ++x) {
            const double dx = (x - 32) / 5.2;
            const double dy = (y - 14) / 4.2;
            const double d = dx * dx + dy * dy;
            if (d <= 0.55)
                set(x, y, dice.Below(100) < 30 ? WaterWaves : Water);
            else if (d <= 1.0)
                set(x, y, Sand);
        }
    }
    // The path runs east to west across the river on a bridge.
    constexpr int PathRow = 9;
    for (int x = 0; x < Width; ++x) {
        const uint8_t under = doc.Cell(x, PathRow);
        set(x, PathRow, under == Water || under == WaterWaves ? Bridge : Path);
    }
    // The walled yard north of the path: cobbles, a hut of planks, a gate to the path.
    for (int y = 1; y <= 7; ++y) {
        for (int x = 2; x <= 11; ++x) {
            const bool edge = y == 1 || y == 7 || x == 2 || x == 11;
            set(x, y, edge ? Wall : Cobbles);
        }
    }
    for (int y = 2; y <= 4; ++y)
        for (int x = 3; x <= 6; ++x)
            set(x, y, Planks);
    set(8, 3, Bush);
    set(10, 6, Rock);
    set(7, 7, Cobbles);
    set(7, 8, Path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qm_demogen <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make the folder %s\n", argv[1]);
        return 1;
    }
    const QString sheetName = out.filePath(QStringLiteral("demo-parts.png"));
    if (!drawSheet().save(sheetName, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(sheetName));
        return 1;
    }
    TMapDocument doc;
    paintMap(doc);
    const QString mapName = out.filePath(QStringLiteral("demo.mpd"));
    QString error;
    if (!SaveMapFile(mapName, doc, TMapFileType::Type2, Side, Side, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(mapName), qPrintable(error));
        return 1;
    }
    std::printf("wrote %s and %s\n", qPrintable(sheetName), qPrintable(mapName));
    return 0;
}
