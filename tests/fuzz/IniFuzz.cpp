// The INI file layer and the settings store's typed reads against arbitrary files.
//
// Input: one control byte (bits 0-1: the store's fence; bits 2-3: what is checked), then
// up to four parts separated by NUL bytes: the file's bytes, a section name, a key name
// and a value (the names and the value as UTF-8). Every read and write goes through the
// file, so each input checks one thing: 0 the text layer (the file read through a fixed
// set of names and the given ones, the value written and read back), 1 the typed integer
// reads, 2 a window placement read, written and read back, 3 the value written through
// the fence and read back, as text and as an integer.

#include "FuzzCheck.h"
#include "IniFile.h"
#include "IniGT.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

std::unique_ptr<QTemporaryDir> workDir;

QString iniPath()
{
    return workDir->filePath(QStringLiteral("fuzz.ini"));
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QM_FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QM_FUZZ_CHECK(file.write(bytes) == bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file layer's notion of a name or value: leading and trailing spaces and tabs are
// not part of it.
QString blanksTrimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.sliced(begin, end - begin);
}

bool sameName(const QString& a, const QString& b)
{
    return blanksTrimmed(a).compare(blanksTrimmed(b), Qt::CaseInsensitive) == 0;
}

struct TProbe
{
    QString Section;
    QString Key;
};

using TSnapshot = std::vector<std::optional<QString>>;

TSnapshot readAll(const TIniFile& ini, const std::vector<TProbe>& probes)
{
    TSnapshot values;
    for (const TProbe& p : probes) {
        const std::optional<QString> value = ini.ReadValue(p.Section, p.Key);
        const QString fallback = QStringLiteral("\x01none");
        const QString text = ini.ReadString(p.Section, p.Key, fallback);
        if (value) {
            // A read returns the value cut to its longest length, at a whole code point.
            QM_FUZZ_CHECK(text == TIniFile::CutValue(*value));
            QM_FUZZ_CHECK(value->startsWith(text));
            QM_FUZZ_CHECK(text.toUcs4().size() <= TIniFile::MaxValueLength);
            QM_FUZZ_CHECK(text.size() == value->size() ||
                          text.toUcs4().size() == TIniFile::MaxValueLength);
            QM_FUZZ_CHECK(!value->contains(u'\n'));
            QM_FUZZ_CHECK(*value == blanksTrimmed(*value));
        } else {
            QM_FUZZ_CHECK(text == fallback);
        }
        values.push_back(value);
    }
    return values;
}

// An independent reading of the documented integer forms: decimal with a sign, or up to
// 32 bits of hexadecimal after "$" or "0x" (with a sign only before "$"). Text of other
// characters is not judged.
struct TReferenceInteger
{
    bool Judged = false;
    bool Valid = false;
    qint32 Value = 0;
};

TReferenceInteger referenceInteger(const QString& text)
{
    static const QRegularExpression decimal(QStringLiteral("^([+-]?)([0-9]{1,40})$"));
    static const QRegularExpression hex(
        QStringLiteral("^(?:([+-]?)\\$|0[xX])([0-9a-fA-F]{1,40})$"));
    TReferenceInteger result;
    if (const auto m = decimal.match(text); m.hasMatch()) {
        result.Judged = true;
        bool ok = false;
        const qlonglong magnitude = m.captured(2).toLongLong(&ok);
        const qlonglong value = m.captured(1) == u"-" ? -magnitude : magnitude;
        result.Valid = ok && value >= INT32_MIN && value <= INT32_MAX;
        result.Value = result.Valid ? qint32(value) : 0;
    } else if (const auto h = hex.match(text); h.hasMatch()) {
        result.Judged = true;
        bool ok = false;
        const qulonglong bits = h.captured(2).toULongLong(&ok, 16);
        result.Valid = ok && bits <= 0xFFFFFFFFu;
        const quint32 pattern = h.captured(1) == u"-" ? 0u - quint32(bits) : quint32(bits);
        result.Value = result.Valid ? qint32(pattern) : 0;
    }
    return result;
}

void checkIntegers(const TIniGT& store, const std::vector<TProbe>& probes)
{
    for (const TProbe& p : probes) {
        // Two different defaults tell a parsed value from a default.
        const qint32 a = store.ReadInteger(p.Section, p.Key, 17);
        const qint32 b = store.ReadInteger(p.Section, p.Key, -4);
        const bool parsed = a == b;
        QM_FUZZ_CHECK(parsed || (a == 17 && b == -4));
        QM_FUZZ_CHECK(store.ReadBool(p.Section, p.Key, false) == (parsed && a != 0));
        const std::optional<QString> text = TIniFile(store.FilePath()).ReadValue(p.Section, p.Key);
        if (!text)
            QM_FUZZ_CHECK(!parsed);
        else if (const TReferenceInteger expected = referenceInteger(TIniFile::CutValue(*text));
                 expected.Judged)
            QM_FUZZ_CHECK(parsed == expected.Valid && (!parsed || expected.Value == a));
    }
}

void checkPlacement(TIniGT& store, const QString& section, const QString& prefix)
{
    QWidget first;
    first.setGeometry(10, 20, 300, 200);
    store.ReadWindowPlacement(section, prefix, &first);
    QWidget child(&first);
    child.setGeometry(1, 2, 3, 4);
    store.ReadPosition(section, prefix, &child);

    // What was read writes and reads back the same.
    const QString copy = QStringLiteral("Copy");
    try {
        store.WriteWindowPlacement(copy, prefix, &first);
        store.WritePosition(copy, prefix + u'P', &child);
    } catch (const EIniGTWriteError&) {
        QM_FUZZ_CHECK(false);
    }
    QWidget second;
    second.setGeometry(40, 50, 60, 70);
    store.ReadWindowPlacement(copy, prefix, &second);
    QM_FUZZ_CHECK(second.windowState() == first.windowState());
    QM_FUZZ_CHECK(second.geometry() == first.geometry());
    QWidget otherChild(&second);
    store.ReadPosition(copy, prefix + u'P', &otherChild);
    QM_FUZZ_CHECK(otherChild.pos() == child.pos());
}

// The text layer: a write changes the written key alone, or nothing when refused.
void checkTextLayer(TIniFile& ini, std::vector<TProbe> probes, const QByteArray& fileBytes,
                    const QString& section, const QString& key, const QString& value)
{
    const TSnapshot before = readAll(ini, probes);
    probes.push_back({section, key});
    const bool written = ini.WriteString(section, key, value);
    const QByteArray afterWrite = readBytes(ini.Path());
    if (!written) {
        QM_FUZZ_CHECK(afterWrite == fileBytes);
        return;
    }
    const TSnapshot after = readAll(ini, probes);
    for (size_t i = 0; i + 1 < probes.size(); ++i) {
        if (!(sameName(probes[i].Section, section) && sameName(probes[i].Key, key)))
            QM_FUZZ_CHECK(after[i] == before[i]);
    }
    QM_FUZZ_CHECK(after.back() == blanksTrimmed(value));
    // Writing the same again changes no byte.
    QM_FUZZ_CHECK(ini.WriteString(section, key, value));
    QM_FUZZ_CHECK(readBytes(ini.Path()) == afterWrite);
}

// Writes gathered in a batch leave the file as the same writes one by one do: the same
// bytes, or, after a last line ending in a lone CR, the same values (the line breaks of the
// added lines may differ there).
void checkBatch(const QString& path, std::vector<TProbe> probes, const QByteArray& fileBytes,
                const QString& section, const QString& key, const QString& value)
{
    const std::vector<std::pair<TProbe, QString>> writes = {
        {{section, key}, value},
        {{QStringLiteral("Main"), QStringLiteral("Name")}, QStringLiteral("b")},
        {{section, QStringLiteral("Left")}, QStringLiteral("c")},
        {{QStringLiteral("New"), key}, value},
        {{section, key}, QStringLiteral("d")},
    };
    for (const auto& write : writes)
        probes.push_back(write.first);
    writeBytes(path, fileBytes);
    TIniFile single(path);
    std::vector<bool> written;
    for (const auto& [at, text] : writes)
        written.push_back(single.WriteString(at.Section, at.Key, text));
    const QByteArray singleBytes = readBytes(path);
    const TSnapshot singleValues = readAll(single, probes);

    writeBytes(path, fileBytes);
    TIniFile batch(path);
    batch.BeginBatch();
    for (size_t i = 0; i < writes.size(); ++i) {
        QM_FUZZ_CHECK(batch.WriteString(writes[i].first.Section, writes[i].first.Key,
                                        writes[i].second) == written[i]);
        if (written[i])
            QM_FUZZ_CHECK(batch.ReadValue(writes[i].first.Section, writes[i].first.Key) ==
                          blanksTrimmed(writes[i].second));
    }
    QM_FUZZ_CHECK(readBytes(path) == fileBytes);
    QM_FUZZ_CHECK(batch.EndBatch());
    QM_FUZZ_CHECK(readAll(batch, probes) == singleValues);
    if (!fileBytes.endsWith('\r'))
        QM_FUZZ_CHECK(readBytes(path) == singleBytes);
}

// A string written through the fence reads back whole, blanks included, unless the store
// writes it bare; an integer written reads back as itself.
void checkFencedWrite(TIniGT& store, TIniGTFence fence, const QString& section,
                      const QString& key, const QString& value)
{
    bool refused = false;
    try {
        store.WriteString(section, key, value);
    } catch (const EIniGTWriteError&) {
        refused = true;
    }
    if (refused) {
        QM_FUZZ_CHECK(!TIniFile(store.FilePath()).WriteString(section, key, value));
        return;
    }
    const QString expected = fence == fnNone ? blanksTrimmed(value) : value;
    QM_FUZZ_CHECK(store.ReadString(section, key, QString()) == TIniFile::CutValue(expected));
    const qint32 number = qint32(quint32(value.size()) * 2654435761u);
    store.WriteInteger(section, key, number);
    QM_FUZZ_CHECK(store.ReadInteger(section, key, number ^ 1) == number);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    // Writes replace the file through a synced temporary file: memory-backed when it can be.
    const QString shm = QStringLiteral("/dev/shm");
    workDir = std::make_unique<QTemporaryDir>(
        QDir(shm).exists() ? shm + QStringLiteral("/qm-fuzz-ini-XXXXXX") : QString());
    QM_FUZZ_CHECK(workDir->isValid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto fence = TIniGTFence(data[0] & 3);
    const int check = (data[0] >> 2) & 3;
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).split('\0');
    const QByteArray fileBytes = parts.value(0);
    const QString section = parts.size() > 1 ? QString::fromUtf8(parts[1]) : QStringLiteral("Main");
    const QString key = parts.size() > 2 ? QString::fromUtf8(parts[2]) : QStringLiteral("Name");
    const QString value = parts.size() > 3 ? QString::fromUtf8(parts[3]) : QStringLiteral("value");

    const QString path = iniPath();
    writeBytes(path, fileBytes);
    // Each read parses the file afresh: a handful of names keeps the search fast.
    std::vector<TProbe> probes = {
        {QStringLiteral("Main"), QStringLiteral("Name")},
        {QStringLiteral("Parts"), QStringLiteral("X")},
        {QStringLiteral("Form"), QStringLiteral("Form.XSize")},
        {section, QStringLiteral("Left")},
        {QStringLiteral("Main"), key},
    };
    if (check == 0) {
        TIniFile ini(path);
        checkTextLayer(ini, probes, fileBytes, section, key, value);
        checkBatch(path, probes, fileBytes, section, key, value);
        return 0;
    }
    TIniGT store;
    store.SetDefaultDir(ddNone);
    store.SetFileName(path);
    store.SetFence(fence);
    if (check == 1) {
        probes.push_back({section, key});
        checkIntegers(store, probes);
    } else if (check == 2) {
        checkPlacement(store, QStringLiteral("Form"), QStringLiteral("Form"));
    } else {
        checkFencedWrite(store, fence, section, key, value);
    }
    return 0;
}
