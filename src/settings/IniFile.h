#pragma once

#include <QString>
#include <optional>

// One INI file on disk: UTF-8 text, "[section]" lines opening sections and "key=value"
// lines holding values. Section and key names match without regard to case; the first
// matching section and, in it, the first matching key count. Leading and trailing spaces
// and tabs of names and values are not part of them.
//
// Every read parses the file afresh, so a change made on disk by anyone is seen at once;
// settings are read a few dozen times per run. Every write rewrites the whole file
// through an atomic replace before it returns, keeping every other line byte for byte.
class TIniFile
{
public:
    // The longest value a read returns, in characters.
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(const QString& path = QString());

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

    // The text cut to at most MaxValueLength characters (code points, so that no
    // surrogate pair is split).
    static QString CutValue(const QString& text);

private:
    QString FPath;
};
