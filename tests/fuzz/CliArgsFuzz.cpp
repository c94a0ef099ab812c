// The command-line parser of quiltmapper-cli against arbitrary argument lists: the input is
// the arguments as the system passes them, each ended by a NUL byte (the last one may not
// be). Parsing reads no file, so this runs no command; it checks what the parser promises.

#include "CliParse.h"
#include "CliText.h"
#include "FuzzCheck.h"
#include "PartsStore.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <cstdint>
#include <variant>

namespace {

int expectedFiles(TCliCommandKind kind)
{
    switch (kind) {
    case TCliCommandKind::Help:
        return 0;
    case TCliCommandKind::Info:
        return 1;
    case TCliCommandKind::Convert:
    case TCliCommandKind::Export:
    case TCliCommandKind::Import:
        return 2;
    case TCliCommandKind::Render:
    case TCliCommandKind::New:
    case TCliCommandKind::Autotile:
        return 3;
    }
    return -1;
}

bool hasControlCharacters(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

void checkCommand(const TCliCommand& c)
{
    QM_FUZZ_CHECK(c.Files.size() == expectedFiles(c.Kind));
    if (c.Part)
        QM_FUZZ_CHECK(c.Part->Width >= 1 && c.Part->Height >= 1 &&
                      TPartsStore::PartSizeAllowed(c.Part->Width, c.Part->Height));
    switch (c.Kind) {
    case TCliCommandKind::New:
        QM_FUZZ_CHECK(c.Width >= 1 && c.Width <= 9999 && c.Height >= 1 && c.Height <= 9999);
        QM_FUZZ_CHECK(c.Fill >= 0 && c.Fill <= 255 && c.Part);
        break;
    case TCliCommandKind::Render:
        QM_FUZZ_CHECK(!c.Cell || (*c.Cell >= 1 && *c.Cell <= 65535));
        QM_FUZZ_CHECK(c.Picture.PngLevel >= 0 && c.Picture.PngLevel <= 9);
        QM_FUZZ_CHECK(c.Picture.Tile.isEmpty() ||
                      (c.Streamed && c.Picture.Tile.width() >= 1 && c.Picture.Tile.height() >= 1));
        QM_FUZZ_CHECK(!c.Format.isEmpty());
        QM_FUZZ_CHECK(c.Streamed == (c.Format == "bmp" || c.Format == "png"));
        break;
    case TCliCommandKind::Export:
        QM_FUZZ_CHECK(!c.Tmx || c.Sheet);
        QM_FUZZ_CHECK(c.Tmx || c.Encoding == TTmxEncoding::Csv);
        break;
    case TCliCommandKind::Import:
        QM_FUZZ_CHECK(c.Empty >= 0 && c.Empty <= 255);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The picture formats a render may write come from Qt's image plug-ins.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QList<QByteArray> raw;
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            raw << QByteArray(bytes + start, qsizetype(i - start));
            start = i + 1;
        }
    }
    if (start < size)
        raw << QByteArray(bytes + start, qsizetype(size - start));

    QString refusal;
    const std::optional<QStringList> args = DecodeCliArguments(raw, &refusal);
    if (!args) {
        QM_FUZZ_CHECK(!hasControlCharacters(OneLine(refusal)));
        return 0;
    }
    // What is taken is the very name the system gave.
    QM_FUZZ_CHECK(args->size() == raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i)
        QM_FUZZ_CHECK(QFile::encodeName(args->at(i)) == raw[i]);

    const std::variant<TCliCommand, QString> parsed = ParseCli(*args);
    if (const QString* wrong = std::get_if<QString>(&parsed)) {
        QM_FUZZ_CHECK(wrong->endsWith(QStringLiteral(" (see --help)")));
        QM_FUZZ_CHECK(!hasControlCharacters(OneLine(*wrong)));
        return 0;
    }
    checkCommand(std::get<TCliCommand>(parsed));
    return 0;
}
