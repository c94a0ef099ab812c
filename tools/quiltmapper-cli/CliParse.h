#pragma once

#include "MapFile.h"
#include "MapPicture.h"
#include "TmxFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>

enum class TCliCommandKind
{
    Help, // --help, -h, help, or no command at all
    Info,
    Convert,
    Render,
    New,
    Export,
    Import,
    Autotile,
};

struct TCliPartSize
{
    uint16_t Width;
    uint16_t Height;
};

// A command line taken apart and checked, before any file is opened: what to run, with
// which files and settings. Fields a command does not take keep their defaults.
struct TCliCommand
{
    TCliCommandKind Kind = TCliCommandKind::Help;
    bool HelpAsked = false;              // Help: asked for (stdout, exit 0) or not given a command
    std::optional<QString> PluginFolder; // --plugins, anywhere before a lone --
    QStringList Files;                   // the command's positional arguments, in order

    const QString& at(int i) const { return Files[i]; }

    // info, render, export (--type) and convert (--from): how a file without the type 2
    // magic is read.
    TMapFileType LoadType = TMapFileType::Type1;
    // convert (--to) and new (--type).
    TMapFileType SaveType = TMapFileType::Type2;
    std::optional<TCliPartSize> Part; // convert, new: --part
    int Width = 0;                    // new: W
    int Height = 0;                   // new: H
    int Fill = 0;                     // new: --fill

    std::optional<int> Cell; // render: --cell
    QByteArray Format;       // render: OUT's extension, lower case
    bool Streamed = false;   // render: bmp or png, written a few rows at a time
    // render: the picture's format, tiles, PNG level and --allow-huge; Cell is left empty,
    // as it may come from the map's header.
    TMapPictureOptions Picture;

    bool Tmx = false;                          // export: OUT is .tmx, not .csv
    TTmxEncoding Encoding = TTmxEncoding::Csv; // export: --encoding
    int Level = -1;                            // export: --level (-1: zlib's default)
    std::optional<QString> Sheet;              // export: --parts; import: --parts-out
    int Empty = 0;                             // import: --empty
    std::optional<QString> TerrainSet;         // autotile: --set
};

// The arguments (without the program name) as a command, or the one line that says what is
// wrong with them (a usage error, exit code 2). Reads no file.
std::variant<TCliCommand, QString> ParseCli(const QStringList& args);

// Why a part size cannot be held.
QString PartSizeTooLarge(int width, int height);
