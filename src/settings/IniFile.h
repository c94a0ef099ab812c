#pragma once

#include <QString>
#include <memory>
#include <optional>

// One INI file on disk: UTF-8 text, "[section]" lines opening sections and "key=value"
// lines holding values. Section and key names match without regard to case; the first
// matching section and, in it, the first matching key count. Leading and trailing spaces
// and tabs of names and values are not part of them.
//
// Reads are served from the file as last parsed while it is unchanged on disk (the same
// file, size and times), so a file of many megabytes is read once however many keys are
// asked for, and a change made on disk by anyone is still seen. A file changed within the
// last seconds is read anew for every read: its times could stay the same through another
// change of the same size.
//
// Every write rewrites the whole file through an atomic replace before it returns, keeping
// every other line byte for byte; between BeginBatch and EndBatch the writes are gathered
// and the file is rewritten once, at the end.
class TIniFile
{
public:
    // The longest value a read returns, in characters.
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(const QString& path = QString());
    ~TIniFile();
    // A copy reads and writes the same file; it shares neither the parsed file nor
    // gathered writes.
    TIniFile(const TIniFile& other);
    TIniFile& operator=(const TIniFile& other);
    TIniFile(TIniFile&&) noexcept;
    TIniFile& operator=(TIniFile&&) noexcept;

    const QString& Path() const { return FPath; }

    // The value of the key, at most MaxValueLength characters; the default when the file,
    // the section or the key is missing or the file cannot be read.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;

    // The whole value of the key, not cut; nullopt when it is missing.
    std::optional<QString> ReadValue(const QString& section, const QString& key) const;

    // Sets the key's value, creating the file, the section and the key as needed. False
    // when the file cannot be read or written, or when a name or the value cannot be
    // stored as one line (a line break anywhere, "=" in the key, "]" in the section,
    // an empty name); the file is then left as it was.
    bool WriteString(const QString& section, const QString& key, const QString& value);

    // From here on writes are gathered: each is checked and seen by the reads at once, and
    // reaches the file at the matching EndBatch. Batches nest; only the outermost writes.
    void BeginBatch();
    // Ends a batch; at the outermost one writes the gathered values into the file as it
    // is on disk then, in one replace. False when that write fails: the file is then left
    // as it was and the gathered values are dropped.
    bool EndBatch();
    bool InBatch() const;

    // The text cut to at most MaxValueLength characters (code points, so that no
    // surrogate pair is split).
    static QString CutValue(const QString& text);

private:
    struct TState;

    // Writes the gathered values; false, and nothing written, when that fails.
    bool flush();

    QString FPath;
    std::unique_ptr<TState> FState;
};
