#include "IniFile.h"

#include "FileStamp.h"
#include "FileWrite.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <sys/stat.h>
#include <time.h>
#include <vector>

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

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// A section or key name as it is looked up. Names match as their texts compare without
// regard to case: an ASCII name stands as it is and compares without regard to ASCII
// case; any other is case-folded, which leaves its ASCII letters in lower case.
struct TName
{
    QByteArrayView Bytes;
};

bool operator==(TName a, TName b)
{
    if (a.Bytes.size() != b.Bytes.size())
        return false;
    for (qsizetype i = 0; i < a.Bytes.size(); ++i) {
        if (asciiLower(a.Bytes[i]) != asciiLower(b.Bytes[i]))
            return false;
    }
    return true;
}

size_t qHash(TName name, size_t seed = 0)
{
    // FNV-1a over the bytes with ASCII letters in lower case.
    quint64 hash = 0xcbf29ce484222325u ^ seed;
    for (const char c : name.Bytes) {
        hash ^= static_cast<unsigned char>(asciiLower(c));
        hash *= 0x100000001b3u;
    }
    // The table picks buckets by the low bits: mix the high ones down.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    hash ^= hash >> 33;
    return size_t(hash);
}

// The looked-up form of a name asked for.
QByteArray lookupName(const QString& name)
{
    for (const QChar c : name) {
        if (c.unicode() >= 0x80)
            return name.toCaseFolded().toUtf8();
    }
    return name.toLatin1();
}

// The form under which a pending write is kept: the looked-up form with its ASCII letters
// in lower case, so that writes match one another as names match in the file.
QByteArray pendingName(const QString& name)
{
    QByteArray bytes = lookupName(name);
    for (char& c : bytes)
        c = asciiLower(c);
    return bytes;
}

// A key name within one section.
struct TKey
{
    TName Name;
    qsizetype Section;
};

bool operator==(const TKey& a, const TKey& b)
{
    return a.Section == b.Section && a.Name == b.Name;
}

size_t qHash(const TKey& key, size_t seed = 0)
{
    return qHash(key.Name, seed) ^ (size_t(key.Section) * 0x9e3779b97f4a7c15u);
}

// Where one key's line sits in the file's bytes: the line without its line break (a CR
// before the LF stays outside it too).
struct TKeyLine
{
    qsizetype LineBegin = 0;
    qsizetype LineEnd = -1; // -1: no line yet
};

struct TSection
{
    qsizetype Id = -1; // -1: not yet seen
    // Just after the section's last non-blank line: where a new key goes.
    qsizetype InsertAt = 0;
    // The section's lines not yet looked through for keys: from ScanAt to ScanEnd.
    qsizetype ScanAt = 0;
    qsizetype ScanEnd = 0;
};

// The value on a key's line.
QByteArrayView valueOn(const QByteArray& data, const TKeyLine& line)
{
    const QByteArrayView text =
        trimmedBlanks(QByteArrayView(data).sliced(line.LineBegin, line.LineEnd - line.LineBegin));
    return trimmedBlanks(text.sliced(text.indexOf('=') + 1));
}

// One line of the file's bytes.
struct TLine
{
    QByteArrayView Text; // without blanks around it
    qsizetype End;       // where its line break begins (a CR before the LF is part of it)
    qsizetype Next;      // where the next line begins
};

TLine lineAt(const QByteArray& data, qsizetype pos)
{
    const qsizetype lf = data.indexOf('\n', pos);
    const qsizetype next = lf < 0 ? data.size() : lf + 1;
    qsizetype end = lf < 0 ? data.size() : lf;
    if (end > pos && data[end - 1] == '\r')
        --end;
    QByteArrayView raw(data.constData() + pos, end - pos);
    if (pos == 0 && raw.startsWith(Utf8Bom))
        raw = raw.sliced(Utf8Bom.size());
    return {trimmedBlanks(raw), end, next};
}

// The sections and keys of a file's bytes. Only the first section of a name counts, and
// in it the first key of a name, for reading and writing alike, so that a write lands
// where a later read looks. The sections are found at once; the keys of a section only as
// far as needed to find a key asked for, so that a section of many thousand keys costs
// little when the first few are all that is read. The names point into the bytes, which
// must outlive the index.
class TIndex
{
public:
    TIndex() = default;

    explicit TIndex(const QByteArray& data) : FData(&data)
    {
        TSection* current = nullptr;
        qsizetype pos = 0;
        while (pos < data.size()) {
            const TLine line = lineAt(data, pos);
            if (line.Text.startsWith('[')) {
                if (current)
                    current->ScanEnd = pos;
                qsizetype close = line.Text.indexOf(']');
                if (close < 0)
                    close = line.Text.size();
                const TName name = nameOf(trimmedBlanks(line.Text.sliced(1, close - 1)));
                current = nullptr;
                TSection& section = FSections[name];
                if (section.Id < 0) {
                    section.Id = FSections.size();
                    section.InsertAt = line.Next;
                    section.ScanAt = line.Next;
                    current = &section;
                }
            } else if (current && !line.Text.isEmpty()) {
                current->InsertAt = line.Next;
            }
            pos = line.Next;
        }
        if (current)
            current->ScanEnd = data.size();
    }

    TSection* Section(const QByteArray& name)
    {
        const auto it = FSections.find(TName{name});
        return it == FSections.end() ? nullptr : &*it;
    }

    // The key's line, looking further through the section as needed; valid until the next
    // call.
    const TKeyLine* Key(TSection& section, const QByteArray& name)
    {
        const TKey wanted{TName{name}, section.Id};
        if (const auto it = FKeys.constFind(wanted); it != FKeys.cend())
            return &*it;
        int scanned = 0;
        while (section.ScanAt < section.ScanEnd) {
            // A long look through a section: room for all its keys at once spares the
            // rehashing.
            if (++scanned == 4096)
                FKeys.reserve(FKeys.size() +
                              QByteArrayView(*FData)
                                  .sliced(section.ScanAt, section.ScanEnd - section.ScanAt)
                                  .count('\n') +
                              1);
            const qsizetype pos = section.ScanAt;
            const TLine line = lineAt(*FData, pos);
            section.ScanAt = line.Next;
            const qsizetype eq = line.Text.indexOf('=');
            if (line.Text.isEmpty() || eq <= 0)
                continue;
            const TKey key{nameOf(trimmedBlanks(line.Text.first(eq))), section.Id};
            TKeyLine& at = FKeys[key];
            if (at.LineEnd >= 0)
                continue; // a later line of a key already found
            at = {pos, line.End};
            if (key == wanted)
                return &at;
        }
        return nullptr;
    }

private:
    TName nameOf(QByteArrayView inFile)
    {
        if (isAscii(inFile))
            return {inFile};
        // The bytes of a QByteArray stay where they are when the array is moved.
        FFolded.push_back(decoded(inFile).toCaseFolded().toUtf8());
        return {FFolded.back()};
    }

    const QByteArray* FData = nullptr;
    QHash<TName, TSection> FSections;
    QHash<TKey, TKeyLine> FKeys;
    // The case-folded forms of the names that are not ASCII.
    std::vector<QByteArray> FFolded;
};

// How long after a change a file's times may still be the same through another change:
// file systems keep them to a clock tick, some to one or two seconds.
constexpr qint64 TimeGrainNs = 2'000'000'000;

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

qint64 nowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

// The file's bytes; an empty array for a missing file, nullopt when it exists but cannot
// be read (a directory, say), so that a write never replaces a file it could not read.
std::optional<QByteArray> readAllBytes(const QString& path, const TFileStamp& stamp)
{
    if (!stamp.Exists)
        return QByteArray();
    // Only a regular file: a FIFO or a device would block the read, or never end.
    if (!S_ISREG(stamp.Mode))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

// What ends the text so far when a line is added to it: nothing after a line break;
// after a last line that ends in a lone CR (which a read takes as its line break), the LF
// that completes it, since another CR would become part of that line.
void endLine(QByteArray& text, const QByteArray& eol)
{
    if (text.isEmpty() || text.back() == '\n')
        return;
    text += text.back() == '\r' ? QByteArrayLiteral("\n") : eol;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

QByteArray keyLine(const QString& key, const QString& value)
{
    return key.toUtf8() + '=' + value.toUtf8();
}

// A value written but not yet in the file, under the name it was last written with.
struct TPendingKey
{
    QString Name;
    QString Value;
};

struct TPendingSection
{
    QString Name;            // as first written: the name a new section gets
    QList<TPendingKey> Keys; // in the order of their first write
    QHash<QByteArray, qsizetype> KeyAt;
};

// One change to the file's bytes: [Begin, End) replaced by Text.
struct TEdit
{
    qsizetype Begin;
    qsizetype End;
    QByteArray Text;
};

} // namespace

struct TIniFile::TState
{
    // The file as last read: its stamp then, its bytes (nullopt: it could not be read)
    // and their index. Trusted while the stamp stays the same, unless the file had
    // changed too shortly before it was read.
    bool Loaded = false;
    bool Trusted = false;
    TFileStamp Stamp;
    std::optional<QByteArray> Data;
    TIndex Index;

    int BatchDepth = 0;
    QList<TPendingSection> Pending; // in the order of their first write
    QHash<QByteArray, qsizetype> PendingAt;

    // The file's bytes as they are on disk now, read only when they may have changed.
    const std::optional<QByteArray>& current(const QString& path)
    {
        const TFileStamp stamp = TFileStamp::Of(path);
        if (Loaded && Trusted && stamp == Stamp)
            return Data;
        const qint64 readAt = nowNs();
        Index = TIndex();
        Data = readAllBytes(path, stamp);
        Stamp = stamp;
        Loaded = true;
        Trusted = Data && (!stamp.Exists || stamp.ModifiedNs + TimeGrainNs < readAt);
        if (Data)
            Index = TIndex(*Data);
        return Data;
    }

    // The file's bytes with the pending values in, or nullopt when it cannot be read. The
    // pending values are done with either way; the file is read anew when next needed,
    // since it is about to change.
    std::optional<QByteArray> takePending(const QString& path)
    {
        std::optional<QByteArray> changed;
        if (const std::optional<QByteArray>& data = current(path))
            changed = withPending(*data);
        Pending.clear();
        PendingAt.clear();
        Loaded = false;
        Data.reset();
        Index = TIndex();
        return changed;
    }

    const TPendingKey* pending(const QString& section, const QString& key) const
    {
        const auto s = PendingAt.constFind(pendingName(section));
        if (s == PendingAt.cend())
            return nullptr;
        const TPendingSection& in = Pending[*s];
        const auto k = in.KeyAt.constFind(pendingName(key));
        return k == in.KeyAt.cend() ? nullptr : &in.Keys[*k];
    }

    void addPending(const QString& section, const QString& key, const QString& value)
    {
        const QByteArray sectionName = pendingName(section);
        auto s = PendingAt.constFind(sectionName);
        if (s == PendingAt.cend()) {
            Pending.append({section, {}, {}});
            s = PendingAt.insert(sectionName, Pending.size() - 1);
        }
        TPendingSection& in = Pending[*s];
        const QByteArray keyName = pendingName(key);
        const auto k = in.KeyAt.constFind(keyName);
        if (k == in.KeyAt.cend()) {
            in.Keys.append({key, value});
            in.KeyAt.insert(keyName, in.Keys.size() - 1);
        } else {
            in.Keys[*k] = {key, value};
        }
    }

    // The bytes with the pending values in: each replaces its key's line, a new key goes
    // after its section's last line, a new section at the end; what a run of single
    // writes in the same order would give.
    QByteArray withPending(const QByteArray& data)
    {
        const QByteArray eol = data.contains("\r\n") ? QByteArrayLiteral("\r\n") : "\n";
        std::vector<TEdit> edits;
        QByteArray newSections;
        for (const TPendingSection& pending : Pending) {
            TSection* section = Index.Section(lookupName(pending.Name));
            QByteArray added;
            for (const TPendingKey& key : pending.Keys) {
                const TKeyLine* at = section ? Index.Key(*section, lookupName(key.Name)) : nullptr;
                if (at)
                    edits.push_back({at->LineBegin, at->LineEnd, keyLine(key.Name, key.Value)});
                else
                    added += keyLine(key.Name, key.Value) + eol;
            }
            if (!section)
                newSections += '[' + pending.Name.toUtf8() + ']' + eol + added;
            else if (!added.isEmpty())
                edits.push_back({section->InsertAt, section->InsertAt, added});
        }
        // New keys of the last section go before the sections new to the file.
        if (!newSections.isEmpty())
            edits.push_back({data.size(), data.size(), newSections});
        std::stable_sort(edits.begin(), edits.end(),
                         [](const TEdit& a, const TEdit& b) { return a.Begin < b.Begin; });

        QByteArray out;
        qsizetype added = 0;
        for (const TEdit& edit : edits)
            added += edit.Text.size() + 2;
        out.reserve(data.size() + added);
        qsizetype copied = 0;
        for (const TEdit& edit : edits) {
            out += QByteArrayView(data).sliced(copied, edit.Begin - copied);
            if (edit.Begin == edit.End) // lines added: the line before them is ended first
                endLine(out, eol);
            out += edit.Text;
            copied = edit.End;
        }
        out += QByteArrayView(data).sliced(copied);
        return out;
    }
};

TIniFile::TIniFile(const QString& path) : FPath(path), FState(std::make_unique<TState>()) {}

TIniFile::~TIniFile() = default;

TIniFile::TIniFile(const TIniFile& other) : TIniFile(other.FPath) {}

TIniFile& TIniFile::operator=(const TIniFile& other)
{
    if (this != &other) {
        FPath = other.FPath;
        FState = std::make_unique<TState>();
    }
    return *this;
}

TIniFile::TIniFile(TIniFile&&) noexcept = default;
TIniFile& TIniFile::operator=(TIniFile&&) noexcept = default;

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    const std::optional<QString> value = ReadValue(section, key);
    return value ? CutValue(*value) : defaultValue;
}

std::optional<QString> TIniFile::ReadValue(const QString& section, const QString& key) const
{
    if (FPath.isEmpty() || !FState)
        return std::nullopt;
    const QString sectionName = trimmedBlanks(section);
    const QString keyName = trimmedBlanks(key);
    if (const TPendingKey* pending = FState->pending(sectionName, keyName))
        return decoded(trimmedBlanks(QByteArrayView(pending->Value.toUtf8())));
    const std::optional<QByteArray>& data = FState->current(FPath);
    if (!data)
        return std::nullopt;
    TSection* in = FState->Index.Section(lookupName(sectionName));
    const TKeyLine* at = in ? FState->Index.Key(*in, lookupName(keyName)) : nullptr;
    if (!at)
        return std::nullopt;
    return decoded(valueOn(*data, *at));
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString sectionName = trimmedBlanks(section);
    const QString keyName = trimmedBlanks(key);
    // Anything that would read back as another line, another key or another section is
    // refused rather than written.
    if (FPath.isEmpty() || !FState || sectionName.isEmpty() || keyName.isEmpty() ||
        hasLineBreak(sectionName) || sectionName.contains(u']') || hasLineBreak(keyName) ||
        keyName.contains(u'=') || keyName.startsWith(u'[') || hasLineBreak(value))
        return false;
    // Within a batch a file that cannot be read refuses the write at once, as it would
    // without one.
    if (FState->BatchDepth > 0 && !FState->current(FPath))
        return false;
    FState->addPending(sectionName, keyName, value);
    return FState->BatchDepth > 0 || flush();
}

void TIniFile::BeginBatch()
{
    if (FState)
        ++FState->BatchDepth;
}

bool TIniFile::EndBatch()
{
    if (!FState || FState->BatchDepth == 0)
        return true;
    return --FState->BatchDepth > 0 || flush();
}

bool TIniFile::InBatch() const
{
    return FState && FState->BatchDepth > 0;
}

bool TIniFile::flush()
{
    if (FState->Pending.isEmpty())
        return true;
    std::optional<QByteArray> changed = FState->takePending(FPath);
    if (!changed)
        return false;
    const QByteArray data = std::move(*changed);
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
