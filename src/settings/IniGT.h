#pragma once

#include "IniFile.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <stdexcept>

class QWidget;

// Where a file name without a directory is placed.
enum TIniGTDefaultDir : std::uint8_t
{
    ddApplication = 0, // the executable's directory
    ddWindows = 1,     // the system's Windows directory; there is none off Windows
    ddNone = 2,        // the name unchanged, that is, relative to the current directory
};

// How string values are enclosed in the file. Enclosing keeps leading and trailing blanks,
// which the file layer does not count as part of a value.
enum TIniGTFence : std::uint8_t
{
    fnDoubleQuote = 0, // "value"
    fnParenthesis = 1, // ｢value｣
    fnVer11Mode = 2,   // writes ｢value｣, reads either enclosure
    fnNone = 3,
};

// Raised when the file refuses a write. The message names the file's full path.
class EIniGTWriteError : public std::runtime_error
{
public:
    explicit EIniGTWriteError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// The settings store: one INI file that every window reads its settings from when it is
// created and writes them to when it is destroyed. Each write is in the file when the
// call returns, or, inside a TWriteBatch, when the batch ends.
class TIniGT : public QObject
{
    Q_OBJECT

public:
    // Gathers the store's writes while it lives and writes them into the file at once,
    // rather than rewriting the file for every key: reads see the gathered values at once.
    // Commit ends the batch and raises EIniGTWriteError when the file refuses the write,
    // which then leaves the file as it was. A batch ended without Commit still writes,
    // but a failure goes unreported. Batches nest: only the outermost one writes.
    class TWriteBatch
    {
    public:
        explicit TWriteBatch(TIniGT& ini);
        ~TWriteBatch();
        TWriteBatch(const TWriteBatch&) = delete;
        TWriteBatch& operator=(const TWriteBatch&) = delete;
        void Commit();

    private:
        TIniGT& FIni;
        bool FEnded = false;
    };

    explicit TIniGT(QObject* owner = nullptr);

    TIniGTDefaultDir DefaultDir() const { return FDefaultDir; }
    // Places the current file name anew.
    void SetDefaultDir(TIniGTDefaultDir value);

    // The name as last assigned, before any directory is added.
    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& value);

    TIniGTFence Fence() const { return FFence; }
    void SetFence(TIniGTFence value);
    // True until Fence is assigned the first time.
    bool FenceUnset() const { return FFenceUnset; }

    // The path the store reads and writes; empty until a file name is assigned.
    const QString& FilePath() const { return FIniFile.Path(); }

    // To be called by the owner once it has assigned the stored properties: without an
    // assigned file name, the store takes the one derived from the executable's name.
    void Loaded();
    // Where a file of the program's own folder is kept: there when the folder can be
    // written (the portable layout) or the file there can, else in configDir, the user's
    // configuration folder (an installed program), which is made when needed.
    static QString ApplicationFilePath(const QString& programDir, const QString& configDir,
                                       const QString& fileName);
    // The settings file name for an executable: its extension replaced by ".ini", lower
    // case, the first letter capital ("EDITOR.EXE" -> "Editor.ini").
    static QString DefaultFileNameFor(const QString& executableName);

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    // Decimal, or hexadecimal after "$" or "0x"; anything else gives the default.
    qint32 ReadInteger(const QString& section, const QString& key, qint32 defaultValue) const;
    void WriteInteger(const QString& section, const QString& key, qint32 value);
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& key, bool value);

    // The window placement record: prefix + ".Flags", ".Show", ".MaxX", ".MaxY", ".X",
    // ".Y", ".XSize", ".YSize". The rectangle is the window's normal (restored) client
    // rectangle as left, top, right, bottom (right and bottom exclusive); a missing key
    // keeps the window's current value. .MaxX and .MaxY are written as -1 and not read.
    // A window without a stored record is left alone, so that the window system (or the
    // program's first-start layout) places it.
    void ReadWindowPlacement(const QString& section, const QString& prefix, QWidget* window);
    // Whether the file holds a placement (or position) record with the prefix.
    bool HasPlacement(const QString& section, const QString& prefix) const;
    void WriteWindowPlacement(const QString& section, const QString& prefix, QWidget* window);
    // Only prefix + ".X" and ".Y": the widget's left and top.
    void ReadPosition(const QString& section, const QString& prefix, QWidget* widget);
    void WritePosition(const QString& section, const QString& prefix, QWidget* widget);

private:
    QString enclosed(const QString& value) const;
    [[noreturn]] void raiseWriteError() const;

    TIniGTDefaultDir FDefaultDir = ddApplication;
    QString FFileName;
    TIniGTFence FFence = fnNone;
    bool FFenceUnset = true;
    TIniFile FIniFile;
};
