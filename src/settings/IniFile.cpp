#include "IniFile.h"

#include "FileWrite.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

constexpr QByteArrayView Utf8Bom("\xEF\xBB\xBF");

QByteArrayView trimmedBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.sliced(begin, end - begin);
}

QString trimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.sliced(begin, end - begin);
}

// The text of a name or value. QString::fromUtf8 would drop a U+FEFF at its start as a
// byte order mark: a name that starts with one could then be written but never found
// again, and every write would add another line.
QString decoded(QByteArrayView bytes)
{
    // Stateless, so that a sequence cut short at the end becomes U+FFFD as elsewhere
    // instead of being held back for more input.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

bool sameName(QByteArrayView inFile, const QString& wanted)
{
    return decoded(inFile).compare(wanted, Qt::CaseInsensitive) == 0;
}

// Where a section and a key of it sit in the file's bytes. Only the first section of the
// name is searched, for reading and writing alike, so that a write lands where a later
// read looks.
struct TLocation
{
    bool SectionFound = false;
    // Just after the section's last non-blank line: where a new key goes.
    qsizetype InsertAt = 0;
    bool KeyFound = false;
    // The key's line without its line break (a CR before the LF stays outside it too).
    qsizetype LineBegin = 0;
    qsizetype LineEnd = 0;
    QByteArrayView Value;
};

TLocation locate(const QByteArray& data, const QString& section, const QString& key)
{
    TLocation found;
    bool inSection = false;
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype lf = data.indexOf('\n', pos);
        const qsizetype next = lf < 0 ? data.size() : lf + 1;
        qsizetype end = lf < 0 ? data.size() : lf;
        if (end > pos && data[end - 1] == '\r')
            --end;
        QByteArrayView raw(data.constData() + pos, end - pos);
        if (pos == 0 && raw.startsWith(Utf8Bom))
            raw = raw.sliced(Utf8Bom.size());
        const QByteArrayView line = trimmedBlanks(raw);

        if (line.startsWith('[')) {
            if (inSection)
                break;
            qsizetype close = line.indexOf(']');
            if (close < 0)
                close = line.size();
            if (sameName(trimmedBlanks(line.sliced(1, close - 1)), section)) {
                inSection = true;
                found.SectionFound = true;
                found.InsertAt = next;
            }
        } else if (inSection && !line.isEmpty()) {
            found.InsertAt = next;
            const qsizetype eq = line.indexOf('=');
            if (eq > 0 && sameName(trimmedBlanks(line.first(eq)), key)) {
                found.KeyFound = true;
                found.LineBegin = pos;
                found.LineEnd = end;
                found.Value = trimmedBlanks(line.sliced(eq + 1));
                break;
            }
        }
        pos = next;
    }
    return found;
}

// The file's bytes; an empty array for a missing file, nullopt when it exists but cannot
// be read (a directory, say), so that a write never replaces a file it could not read.
std::optional<QByteArray> readAllBytes(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QByteArray();
    // Only a regular file: a FIFO or a device would block the read, or never end.
    if (!info.isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

// What ends the line before `pos` when something is written there: nothing after a line
// break; after a last line that ends in a lone CR (which a read takes as its line break),
// the LF that completes it, since another CR would become part of that line.
QByteArray lineBreakBefore(const QByteArray& data, qsizetype pos, const QByteArray& eol)
{
    if (pos == 0 || data[pos - 1] == '\n')
        return {};
    return data[pos - 1] == '\r' ? QByteArrayLiteral("\n") : eol;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

TIniFile::TIniFile(const QString& path) : FPath(path) {}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    const std::optional<QString> value = ReadValue(section, key);
    return value ? CutValue(*value) : defaultValue;
}

std::optional<QString> TIniFile::ReadValue(const QString& section, const QString& key) const
{
    if (FPath.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> data = readAllBytes(FPath);
    if (!data)
        return std::nullopt;
    const TLocation at = locate(*data, trimmedBlanks(section), trimmedBlanks(key));
    if (!at.KeyFound)
        return std::nullopt;
    return decoded(at.Value);
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString sectionName = trimmedBlanks(section);
    const QString keyName = trimmedBlanks(key);
    // Anything that would read back as another line, another key or another section is
    // refused rather than written.
    if (FPath.isEmpty() || sectionName.isEmpty() || keyName.isEmpty() ||
        hasLineBreak(sectionName) || sectionName.contains(u']') || hasLineBreak(keyName) ||
        keyName.contains(u'=') || keyName.startsWith(u'[') || hasLineBreak(value))
        return false;

    std::optional<QByteArray> read = readAllBytes(FPath);
    if (!read)
        return false;
    QByteArray data = std::move(*read);
    const QByteArray eol = data.contains("\r\n") ? QByteArrayLiteral("\r\n") : "\n";
    const QByteArray keyLine = keyName.toUtf8() + '=' + value.toUtf8();

    const TLocation at = locate(data, sectionName, keyName);
    if (at.KeyFound) {
        data.replace(at.LineBegin, at.LineEnd - at.LineBegin, keyLine);
    } else if (at.SectionFound) {
        // The section may be the last line of a file without a final line break.
        data.insert(at.InsertAt, lineBreakBefore(data, at.InsertAt, eol) + keyLine + eol);
    } else {
        data += lineBreakBefore(data, data.size(), eol);
        data += '[' + sectionName.toUtf8() + ']' + eol + keyLine + eol;
    }

    return bool(WriteFileWhole(FPath, data));
}

QString TIniFile::CutValue(const QString& text)
{
    if (text.size() <= MaxValueLength)
        return text;
    qsizetype units = 0;
    for (int chars = 0; chars < MaxValueLength && units < text.size(); ++chars)
        units += text[units].isHighSurrogate() && units + 1 < text.size() &&
                         text[units + 1].isLowSurrogate()
                     ? 2
                     : 1;
    return text.first(units);
}
