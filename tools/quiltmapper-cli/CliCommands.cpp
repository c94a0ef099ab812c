#include "CliCommands.h"

#include "CliParse.h"
#include "CliSupport.h"
#include "CliText.h"
#include "MapDocument.h"
#include "MapFile.h"

#include <QFileInfo>
#include <QTextStream>
#include <array>
#include <new>
#include <optional>
#include <variant>

using namespace cli;

namespace {

int cmdInfo(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType asked = a.LoadType;
    MapWork work;
    const TMapLoadResult r = loadMap(a.at(0), asked, work.Session);
    const TMapDocument& doc = work.Doc();
    const TMapFileType type = r.Type;

    std::array<qint64, 256> count{};
    for (uint8_t c : doc.MapCells())
        ++count[c];
    out << "file: " << OneLine(a.at(0)) << "\n";
    out << "type: " << int(type) << "\n";
    out << "map size: " << doc.MapWidth() << " x " << doc.MapHeight() << " cells\n";
    if (type == TMapFileType::Type2)
        out << "part size: " << r.PartWidth << " x " << r.PartHeight << " pixels\n";
    noteTruncation(r, a.at(0), out);
    out << "parts used (part: cells):\n";
    for (int p = 0; p < 256; ++p) {
        if (count[p])
            out << "  " << p << ": " << count[p] << "\n";
    }
    return 0;
}

int cmdConvert(const TCliCommand& a, QTextStream& out)
{
    const TMapFileType from = a.LoadType;
    const TMapFileType to = a.SaveType;
    const std::optional<PartSize> part = a.Part;

    MapWork work;
    const TMapLoadResult r = loadMap(a.at(0), from, work.Session);
    const PartSize size = part.value_or(PartSize{r.PartWidth, r.PartHeight});
    work.Session.SetPartSize(size.Width, size.Height);
    saveMap(work.Session, a.at(1), to, {a.at(0)});
    const TMapDocument& doc = work.Doc();
    noteTruncation(r, a.at(0), out);
    out << "wrote " << OneLine(a.at(1)) << ": type " << int(to) << ", " << doc.MapWidth() << " x "
        << doc.MapHeight() << " cells";
    if (to == TMapFileType::Type2)
        out << ", part size " << size.Width << " x " << size.Height;
    out << "\n";
    return 0;
}

int cmdNew(const TCliCommand& a, QTextStream& out)
{
    const int w = a.Width;
    const int h = a.Height;
    const TMapFileType type = a.SaveType;
    const int fill = a.Fill;
    const PartSize part = *a.Part;

    MapWork work;
    try {
        work.Session.NewMap(w, h, part.Width, part.Height);
    } catch (const std::bad_alloc&) {
        failure(QStringLiteral("not enough memory for a %1 x %2 map").arg(w).arg(h));
    }
    if (fill != 0)
        work.Doc().FillMapRect({0, 0, w - 1, h - 1}, uint8_t(fill));
    saveMap(work.Session, a.at(2), type);
    out << "wrote " << OneLine(a.at(2)) << ": type " << int(type) << ", " << w << " x " << h
        << " cells of part " << fill << "\n";
    return 0;
}

} // namespace

QString CliUsage()
{
    return QStringLiteral(
        "quiltmapper-cli: batch work on Quiltmapper map files (.mpd)\n"
        "\n"
        "Map files come in two layouts. Type 1 holds the map size and the cells column by\n"
        "column; type 2 starts with \"QuiltmapperDataFormat20\", the part size and the map\n"
        "size, then the cells row by row. A file that starts with that text is read as\n"
        "type 2 whatever --type or --from says; they decide only files without it, which\n"
        "auto (the default) reads as type 1. Files are written as type 2 unless told.\n"
        "\n"
        "Commands:\n"
        "  info MAP [--type auto|1|2]\n"
        "      Print the map size, the part size (type 2) and how many cells hold each\n"
        "      part number.\n"
        "  convert IN OUT [--from auto|1|2] --to 1|2 [--part WxH]\n"
        "      Read IN in one layout and write OUT in another. A type 2 output takes the\n"
        "      part size from --part, else from a type 2 input, else 32x32.\n"
        "      --part WxH must leave the parts sheet (16 x 16 parts) within 2 GB, about\n"
        "      1448x1448 at most, as in the editor (also for new).\n"
        "  render MAP PARTS_PICTURE OUT [--type auto|1|2] [--cell N] [--split WxH]\n"
        "         [--png-level N] [--allow-huge]\n"
        "      Draw the whole map as one picture: every cell shows its part from the parts\n"
        "      picture (a 16 x 16 sheet of parts, as saved by the editor) at N x N pixels\n"
        "      (default: the part size, 32x32 for type 1). OUT's extension chooses the\n"
        "      format (bmp, png, jpg, ...); icon formats (ico, cur, icns) are refused, as\n"
        "      they would shrink the picture. bmp and png are written a few rows at a time,\n"
        "      so any map fits in little memory; a BMP file holds at most 4 GB, and one\n"
        "      that would not fit on the disk is refused before the cells are read. Other\n"
        "      formats are made in memory: pictures over 2^31 bytes are refused.\n"
        "      --split WxH writes tiles of at most W x H pixels instead, OUT_C_R.ext for\n"
        "      tile column C and row R (from 0). --png-level N: zlib level 0..9, default 1\n"
        "      (fast). A picture of more than 2^36 pixels (all tiles together; 256 K x\n"
        "      256 K) would take days and terabytes: it is refused unless --allow-huge\n"
        "      is given. On a terminal a progress line shows on stderr.\n"
        "  new W H OUT [--type 1|2] [--fill N] [--part WxH]\n"
        "      Write a new map of W x H cells (1..9999 each), every cell part N (0..255,\n"
        "      default 0); a type 2 file records the part size (default 32x32).\n"
        "  export MAP OUT.tmx|OUT.csv [--parts SHEET] [--encoding csv|zlib] [--level N]\n"
        "         [--type auto|1|2]\n"
        "      Write the map for other map editors and game engines. TMX (needs --parts,\n"
        "      the parts sheet): one tile layer whose gids are part number + 1, as CSV or,\n"
        "      with --encoding zlib, as base64 zlib data (--level N: zlib level 0..9,\n"
        "      default 6; a large map is compressed on every core); the sheet is written\n"
        "      beside it as PNG with the map's name. CSV: the part numbers, one map row a\n"
        "      line.\n"
        "  import IN.tmx OUT.mpd [--parts-out SHEET] [--empty N]\n"
        "      Read an orthogonal TMX map of one tile layer into a type 2 map and its parts\n"
        "      sheet (default: OUT's name with .png). One tileset of at most 256 tiles keeps\n"
        "      its tile numbers; otherwise the tiles used become parts 0.. in gid order.\n"
        "      Flipped tiles take free parts. Empty cells become part N (default 0).\n"
        "  autotile TERRAIN.png SHEET.tsx OUT.mpd [--set NAME] [--type 1|2]\n"
        "      Make a map from a picture of terrain colours, using a terrain set of the\n"
        "      tileset file (--set NAME, else its first set). Corner sets: one pixel per\n"
        "      cell corner, (W+1) x (H+1) pixels for a W x H map; edge and mixed sets: one\n"
        "      per corner, edge and cell centre, (2W+1) x (2H+1). Every cell takes the part\n"
        "      whose corners or edges have its pixels' colours; a pixel whose colour is no\n"
        "      terrain of the set is refused with its position. Type 2 (the default)\n"
        "      records the tileset's tile size as the part size.\n"
        "\n"
        "Parts pictures are read as the editor reads them: BMP, PNG, JPEG, GIF, ... and\n"
        "every format of the picture plug-ins (.spi) in the editor's plug-in folders;\n"
        "--plugins DIR, anywhere before a lone --, adds one more folder.\n"
        "\n"
        "Options take their value as --name value or --name=value; a lone -- ends the\n"
        "options, for file names that start with -.\n"
        "Cell data that ends early reads as part 0; info, convert and render then print a\n"
        "note line on stdout and still succeed.\n"
        "On any error one line goes to stderr, the exit code is 1 (2 for a wrong command\n"
        "line), and no output file is left behind; an existing OUT stays as it was.\n");
}

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const std::variant<TCliCommand, QString> parsed = ParseCli(args);
    if (const QString* wrong = std::get_if<QString>(&parsed)) {
        err << "quiltmapper-cli: " << OneLine(*wrong) << "\n";
        return ExitUsage;
    }
    const TCliCommand& command = std::get<TCliCommand>(parsed);
    if (command.Kind == TCliCommandKind::Help) {
        (command.HelpAsked ? out : err) << CliUsage();
        return command.HelpAsked ? 0 : ExitUsage;
    }
    extraPluginFolder.clear();
    try {
        if (command.PluginFolder) {
            if (!QFileInfo(*command.PluginFolder).isDir())
                failure(
                    QStringLiteral("plug-in folder %1 does not exist").arg(*command.PluginFolder));
            extraPluginFolder = *command.PluginFolder;
        }
        switch (command.Kind) {
        case TCliCommandKind::Info:
            return cmdInfo(command, out);
        case TCliCommandKind::Convert:
            return cmdConvert(command, out);
        case TCliCommandKind::Render:
            return cmdRender(command, out);
        case TCliCommandKind::New:
            return cmdNew(command, out);
        case TCliCommandKind::Export:
            return cmdExport(command, out);
        case TCliCommandKind::Import:
            return cmdImport(command, out);
        case TCliCommandKind::Autotile:
            return cmdAutotile(command, out);
        case TCliCommandKind::Help:
            break;
        }
        return ExitUsage;
    } catch (const CliError& e) {
        err << "quiltmapper-cli: " << OneLine(e.Message) << "\n";
        return e.Code;
    } catch (const std::bad_alloc&) {
        err << "quiltmapper-cli: not enough memory\n";
        return ExitFailed;
    } catch (const std::exception& e) {
        err << "quiltmapper-cli: " << OneLine(QString::fromUtf8(e.what())) << "\n";
        return ExitFailed;
    }
}
