#include "CliParse.h"

#include "MapDocument.h"
#include "PartsStore.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QMap>
#include <QSet>
#include <limits>

namespace {

struct UsageError
{
    QString Message;
};

[[noreturn]] void usageError(const QString& message)
{
    throw UsageError{message + QStringLiteral(" (see --help)")};
}

// Positional arguments, --name value / --name=value options and --name flags of one
// command. A lone -- ends the options, so that file names starting with - can still be given.
class Arguments
{
public:
    Arguments(const QStringList& args, const QStringList& allowedOptions,
              const QStringList& allowedFlags = {})
    {
        bool optionsEnded = false;
        for (int i = 0; i < args.size(); ++i) {
            const QString& a = args[i];
            if (optionsEnded || a == QStringLiteral("-") || !a.startsWith(QLatin1Char('-'))) {
                FPositional << a;
                continue;
            }
            if (a == QStringLiteral("--")) {
                optionsEnded = true;
                continue;
            }
            if (!a.startsWith(QStringLiteral("--")))
                usageError(QStringLiteral("unknown option %1").arg(a));
            QString name = a.mid(2);
            const int eq = name.indexOf(QLatin1Char('='));
            if (allowedFlags.contains(eq >= 0 ? name.left(eq) : name)) {
                if (eq >= 0)
                    usageError(QStringLiteral("option --%1 takes no value").arg(name.left(eq)));
                if (FFlags.contains(name))
                    usageError(QStringLiteral("option --%1 given twice").arg(name));
                FFlags.insert(name);
                continue;
            }
            QString value;
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name.truncate(eq);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                usageError(QStringLiteral("option --%1 needs a value").arg(name));
            }
            if (!allowedOptions.contains(name))
                usageError(QStringLiteral("unknown option --%1").arg(name));
            if (FOptions.contains(name))
                usageError(QStringLiteral("option --%1 given twice").arg(name));
            FOptions.insert(name, value);
        }
    }

    void expectPositional(int count, const QString& synopsis) const
    {
        if (FPositional.size() != count)
            usageError(QStringLiteral("expected: quiltmapper-cli %1").arg(synopsis));
    }
    const QStringList& positional() const { return FPositional; }
    const QString& at(int i) const { return FPositional[i]; }
    std::optional<QString> option(const QString& name) const
    {
        if (!FOptions.contains(name))
            return std::nullopt;
        return FOptions.value(name);
    }
    bool flag(const QString& name) const { return FFlags.contains(name); }

private:
    QStringList FPositional;
    QMap<QString, QString> FOptions;
    QSet<QString> FFlags;
};

int parseInt(const QString& text, int low, int high, const QString& what)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        usageError(QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"")
                       .arg(what)
                       .arg(low)
                       .arg(high)
                       .arg(text));
    return v;
}

TMapFileType parseType(const std::optional<QString>& text, const QString& what)
{
    if (!text)
        return TMapFileType::Type2; // the editor's default for loading and saving
    return parseInt(*text, 1, 2, what) == 1 ? TMapFileType::Type1 : TMapFileType::Type2;
}

// A file that starts with the type 2 magic is read as type 2 whatever is asked; the type
// asked for decides only headerless files, which "auto" (the default) reads as type 1.
TMapFileType parseLoadType(const std::optional<QString>& text, const QString& what)
{
    if (!text || *text == u"auto")
        return TMapFileType::Type1;
    return parseType(text, what);
}

TMapFileType requiredType(const std::optional<QString>& text, const QString& what)
{
    if (!text)
        usageError(QStringLiteral("%1 is required").arg(what));
    return parseType(text, what);
}

// A map made with parts the editor cannot hold could never be opened with its parts.
TCliPartSize parsePartSize(const QString& text)
{
    const QStringList wh = text.toLower().split(QLatin1Char('x'));
    if (wh.size() != 2)
        usageError(QStringLiteral("--part must look like 32x32, not \"%1\"").arg(text));
    const TCliPartSize size{uint16_t(parseInt(wh[0], 1, 65535, QStringLiteral("part width"))),
                            uint16_t(parseInt(wh[1], 1, 65535, QStringLiteral("part height")))};
    if (!TPartsStore::PartSizeAllowed(size.Width, size.Height))
        usageError(PartSizeTooLarge(size.Width, size.Height));
    return size;
}

// Icon formats: Qt's writers shrink a larger picture to an icon size without a word.
bool isIconFormat(const QByteArray& format)
{
    return format == "ico" || format == "cur" || format == "icns";
}

QString pictureFormatList()
{
    QStringList names;
    for (const QByteArray& f : QImageWriter::supportedImageFormats()) {
        if (!isIconFormat(f))
            names << QString::fromLatin1(f);
    }
    return names.join(QStringLiteral(", "));
}

// "WxH" of --split, each from 1.
QSize parseTileSize(const QString& text)
{
    const QStringList wh = text.toLower().split(QLatin1Char('x'));
    if (wh.size() != 2)
        usageError(QStringLiteral("--split must look like 4096x4096, not \"%1\"").arg(text));
    const int max = std::numeric_limits<int>::max();
    return {parseInt(wh[0], 1, max, QStringLiteral("tile width")),
            parseInt(wh[1], 1, max, QStringLiteral("tile height"))};
}

void parseInfo(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args, {QStringLiteral("type")});
    a.expectPositional(1, QStringLiteral("info MAP [--type auto|1|2]"));
    c.Files = a.positional();
    c.LoadType = parseLoadType(a.option(QStringLiteral("type")), QStringLiteral("--type"));
}

void parseConvert(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args, {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("part")});
    a.expectPositional(2, QStringLiteral("convert IN OUT [--from auto|1|2] --to 1|2 [--part WxH]"));
    c.Files = a.positional();
    c.LoadType = parseLoadType(a.option(QStringLiteral("from")), QStringLiteral("--from"));
    c.SaveType = requiredType(a.option(QStringLiteral("to")), QStringLiteral("--to"));
    if (auto p = a.option(QStringLiteral("part")))
        c.Part = parsePartSize(*p);
}

void parseNew(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args,
                      {QStringLiteral("type"), QStringLiteral("fill"), QStringLiteral("part")});
    a.expectPositional(3, QStringLiteral("new W H OUT [--type 1|2] [--fill N] [--part WxH]"));
    c.Files = a.positional();
    c.Width = parseInt(a.at(0), 1, TMapDocument::MaxMapSize, QStringLiteral("W"));
    c.Height = parseInt(a.at(1), 1, TMapDocument::MaxMapSize, QStringLiteral("H"));
    c.SaveType = parseType(a.option(QStringLiteral("type")), QStringLiteral("--type"));
    if (auto f = a.option(QStringLiteral("fill")))
        c.Fill = parseInt(*f, 0, 255, QStringLiteral("--fill"));
    c.Part = TCliPartSize{DefaultPartSize, DefaultPartSize};
    if (auto p = a.option(QStringLiteral("part")))
        c.Part = parsePartSize(*p);
}

void parseRender(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args,
                      {QStringLiteral("type"), QStringLiteral("cell"), QStringLiteral("split"),
                       QStringLiteral("png-level")},
                      {QStringLiteral("allow-huge")});
    a.expectPositional(3, QStringLiteral("render MAP PARTS_PICTURE OUT [--type auto|1|2] "
                                         "[--cell N] [--split WxH] [--png-level N] "
                                         "[--allow-huge]"));
    c.Files = a.positional();
    c.LoadType = parseLoadType(a.option(QStringLiteral("type")), QStringLiteral("--type"));
    if (auto cell = a.option(QStringLiteral("cell")))
        c.Cell = parseInt(*cell, 1, 65535, QStringLiteral("--cell"));

    const QString& outName = a.at(2);
    c.Format = QFileInfo(outName).suffix().toLower().toLatin1();
    if (isIconFormat(c.Format))
        usageError(QStringLiteral("%1: %2 pictures are icons, too small for a map picture; use "
                                  "one of: %3")
                       .arg(outName, QString::fromLatin1(c.Format), pictureFormatList()));
    if (c.Format.isEmpty() || !QImageWriter::supportedImageFormats().contains(c.Format))
        usageError(QStringLiteral("cannot tell a picture format from the name %1; use one of: %2")
                       .arg(outName, pictureFormatList()));
    // BMP and PNG are streamed, a few rows at a time, whatever the picture's size; other
    // formats are made in memory by Qt's writers.
    c.Streamed = c.Format == "bmp" || c.Format == "png";
    c.Picture.Format = c.Format == "png" ? TMapPictureFormat::Png : TMapPictureFormat::Bmp;
    c.Picture.AllowHuge = a.flag(QStringLiteral("allow-huge"));
    if (auto split = a.option(QStringLiteral("split"))) {
        if (!c.Streamed)
            usageError(QStringLiteral("--split needs a bmp or png picture"));
        c.Picture.Tile = parseTileSize(*split);
    }
    if (auto level = a.option(QStringLiteral("png-level"))) {
        if (c.Format != "png")
            usageError(QStringLiteral("--png-level needs a png picture"));
        c.Picture.PngLevel = parseInt(*level, 0, 9, QStringLiteral("--png-level"));
    }
}

void parseExport(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args, {QStringLiteral("parts"), QStringLiteral("encoding"),
                             QStringLiteral("level"), QStringLiteral("type")});
    a.expectPositional(
        2, QStringLiteral("export MAP OUT.tmx|OUT.csv [--parts SHEET] [--encoding csv|zlib] "
                          "[--level N] [--type auto|1|2]"));
    c.Files = a.positional();
    c.LoadType = parseLoadType(a.option(QStringLiteral("type")), QStringLiteral("--type"));
    const QString& outName = a.at(1);
    const QString suffix = QFileInfo(outName).suffix().toLower();
    if (suffix != u"tmx" && suffix != u"csv")
        usageError(QStringLiteral("%1: the output must end in .tmx or .csv").arg(outName));
    c.Tmx = suffix == u"tmx";
    if (auto e = a.option(QStringLiteral("encoding"))) {
        if (!c.Tmx)
            usageError(QStringLiteral("--encoding is for TMX output only"));
        if (*e == u"zlib")
            c.Encoding = TTmxEncoding::Base64Zlib;
        else if (*e != u"csv")
            usageError(QStringLiteral("--encoding must be csv or zlib, not \"%1\"").arg(*e));
    }
    if (auto level = a.option(QStringLiteral("level"))) {
        if (c.Encoding != TTmxEncoding::Base64Zlib)
            usageError(QStringLiteral("--level needs --encoding zlib"));
        c.Level = parseInt(*level, 0, 9, QStringLiteral("--level"));
    }
    c.Sheet = a.option(QStringLiteral("parts"));
    if (c.Tmx && !c.Sheet)
        usageError(QStringLiteral("--parts is required for TMX output"));
}

void parseImport(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args, {QStringLiteral("parts-out"), QStringLiteral("empty")});
    a.expectPositional(2, QStringLiteral("import IN.tmx OUT.mpd [--parts-out SHEET] [--empty N]"));
    c.Files = a.positional();
    if (auto e = a.option(QStringLiteral("empty")))
        c.Empty = parseInt(*e, 0, 255, QStringLiteral("--empty"));
    c.Sheet = a.option(QStringLiteral("parts-out"));
}

void parseAutotile(const QStringList& args, TCliCommand& c)
{
    const Arguments a(args, {QStringLiteral("set"), QStringLiteral("type")});
    a.expectPositional(
        3, QStringLiteral("autotile TERRAIN.png SHEET.tsx OUT.mpd [--set NAME] [--type 1|2]"));
    c.Files = a.positional();
    c.TerrainSet = a.option(QStringLiteral("set"));
    c.SaveType = parseType(a.option(QStringLiteral("type")), QStringLiteral("--type"));
}

} // namespace

QString PartSizeTooLarge(int width, int height)
{
    return QStringLiteral("part size %1x%2 is too large: its parts sheet would not fit in 2 GB")
        .arg(width)
        .arg(height);
}

std::variant<TCliCommand, QString> ParseCli(const QStringList& args)
{
    TCliCommand c;
    // A file named -h after -- is a file, not a request for help.
    const QStringList options = args.mid(0, args.indexOf(QStringLiteral("--")));
    if (args.isEmpty() || options.contains(QStringLiteral("--help")) ||
        options.contains(QStringLiteral("-h")) || args.first() == QStringLiteral("help")) {
        c.HelpAsked = !args.isEmpty();
        return c;
    }
    QStringList remaining = args;
    try {
        // --plugins DIR may stand anywhere before a lone --.
        for (qsizetype i = 0; i < remaining.size(); ++i) {
            const QString& arg = remaining[i];
            if (arg == QStringLiteral("--"))
                break;
            QString folder;
            if (arg == QStringLiteral("--plugins")) {
                if (i + 1 >= remaining.size())
                    usageError(QStringLiteral("option --plugins needs a value"));
                folder = remaining[i + 1];
                remaining.remove(i, 2);
            } else if (arg.startsWith(QStringLiteral("--plugins="))) {
                folder = arg.mid(10);
                remaining.remove(i, 1);
            } else {
                continue;
            }
            if (c.PluginFolder)
                usageError(QStringLiteral("option --plugins given twice"));
            c.PluginFolder = folder;
            --i;
        }
        if (remaining.isEmpty())
            return c; // help, not asked for
        const QString command = remaining.first();
        const QStringList rest = remaining.mid(1);
        if (command == QStringLiteral("info")) {
            c.Kind = TCliCommandKind::Info;
            parseInfo(rest, c);
        } else if (command == QStringLiteral("convert")) {
            c.Kind = TCliCommandKind::Convert;
            parseConvert(rest, c);
        } else if (command == QStringLiteral("render")) {
            c.Kind = TCliCommandKind::Render;
            parseRender(rest, c);
        } else if (command == QStringLiteral("new")) {
            c.Kind = TCliCommandKind::New;
            parseNew(rest, c);
        } else if (command == QStringLiteral("export")) {
            c.Kind = TCliCommandKind::Export;
            parseExport(rest, c);
        } else if (command == QStringLiteral("import")) {
            c.Kind = TCliCommandKind::Import;
            parseImport(rest, c);
        } else if (command == QStringLiteral("autotile")) {
            c.Kind = TCliCommandKind::Autotile;
            parseAutotile(rest, c);
        } else {
            usageError(QStringLiteral("unknown command \"%1\"").arg(command));
        }
    } catch (const UsageError& e) {
        return e.Message;
    }
    return c;
}
