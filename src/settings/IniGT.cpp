#include "IniGT.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>
#include <limits>
#include <optional>

namespace {

constexpr QChar OpenBracket(0xFF62);  // ｢
constexpr QChar CloseBracket(0xFF63); // ｣

// The show states and the flag of the placement record, numbered as on Windows so that
// the values mean the same everywhere.
constexpr qint32 ShowNormal = 1;
constexpr qint32 ShowMinimized = 2;
constexpr qint32 ShowMaximized = 3;
constexpr qint32 MinimizeNoActive = 6;
constexpr qint32 ShowMinNoActive = 7;
constexpr qint32 RestoreToMaximized = 2;
constexpr Qt::WindowStates NotNormal =
    Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

// Decimal with an optional sign, or hexadecimal after "$" read as a 32-bit pattern
// ("$FFFFFFFF" is -1); nullopt for anything else, an empty text included.
std::optional<qint32> parseInteger(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const bool hex = i < text.size() && text[i] == u'$';
    if (hex)
        ++i;
    if (i == text.size())
        return std::nullopt;
    const quint64 limit = hex ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0)
            return std::nullopt;
        value = value * (hex ? 16 : 10) + d;
        if (value > limit)
            return std::nullopt;
    }
    const quint32 bits = static_cast<quint32>(value);
    return static_cast<qint32>(negative ? 0u - bits : bits);
}

// Coordinates and sizes from the file are taken as they stand, only kept within what Qt's
// rectangle arithmetic can hold without overflowing.
int boundedCoordinate(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

int boundedExtent(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, 0, QWIDGETSIZE_MAX));
}

// A placement from another machine's screens, or from a damaged file, may lie beyond every
// screen or be larger than all of them together (a 32767 x 32767 window takes gigabytes).
// The window is kept no larger than the screens' combined area and, when it would show on
// none of them, moved just far enough onto the nearest screen that a corner can be grabbed.
// A window that shows on a screen, even in part, keeps its place.
QRect withinScreens(qint64 left, qint64 top, qint64 width, qint64 height)
{
    QRect desk;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens)
        desk |= screen->geometry();
    if (desk.isEmpty())
        return QRect(boundedCoordinate(left), boundedCoordinate(top), boundedExtent(width),
                     boundedExtent(height));

    width = std::clamp<qint64>(width, 0, desk.width());
    height = std::clamp<qint64>(height, 0, desk.height());
    // The span a window covers on an axis, at least one pixel even when it has no extent.
    const auto gap = [](qint64 start, qint64 extent, int low, int high) -> qint64 {
        const qint64 end = start + std::max<qint64>(extent, 1) - 1;
        return std::max<qint64>({0, qint64(low) - end, start - high});
    };
    const QScreen* nearest = nullptr;
    qint64 nearestGap = std::numeric_limits<qint64>::max();
    for (const QScreen* screen : screens) {
        const QRect s = screen->geometry();
        const qint64 g =
            gap(left, width, s.left(), s.right()) + gap(top, height, s.top(), s.bottom());
        if (g < nearestGap) {
            nearestGap = g;
            nearest = screen;
        }
    }
    if (nearestGap > 0) {
        constexpr qint64 Corner = 48;
        const QRect s = nearest->geometry();
        const qint64 showX = std::clamp<qint64>(width, 1, std::min<qint64>(Corner, s.width()));
        const qint64 showY = std::clamp<qint64>(height, 1, std::min<qint64>(Corner, s.height()));
        left = std::clamp<qint64>(left, s.left() + showX - std::max<qint64>(width, 1),
                                  s.right() + 1 - showX);
        top = std::clamp<qint64>(top, s.top() + showY - std::max<qint64>(height, 1),
                                 s.bottom() + 1 - showY);
    }
    return QRect(boundedCoordinate(left), boundedCoordinate(top), int(width), int(height));
}

// The rectangle the window has, or would have, in the normal state. It is the client
// rectangle, not the frame: the frame's size is not known before a window is shown (not
// at all on some window systems), and a rectangle read at creation must come out the same
// when it is written again at the end.
QRect normalRect(const QWidget* widget)
{
    return widget->isWindow() ? widget->normalGeometry() : widget->geometry();
}

qint32 showStateOf(Qt::WindowStates state)
{
    if (state & Qt::WindowMinimized)
        return ShowMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return ShowMaximized;
    return ShowNormal;
}

qint32 flagsOf(Qt::WindowStates state)
{
    return (state & Qt::WindowMinimized) && (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
               ? RestoreToMaximized
               : 0;
}

} // namespace

EIniGTWriteError::EIniGTWriteError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

TIniGT::TIniGT(QObject* owner) : QObject(owner) {}

TIniGT::TWriteBatch::TWriteBatch(TIniGT& ini) : FIni(ini)
{
    FIni.FIniFile.BeginBatch();
}

TIniGT::TWriteBatch::~TWriteBatch()
{
    if (!FEnded)
        FIni.FIniFile.EndBatch();
}

void TIniGT::TWriteBatch::Commit()
{
    if (FEnded)
        return;
    FEnded = true;
    if (!FIni.FIniFile.EndBatch())
        FIni.raiseWriteError();
}

void TIniGT::SetDefaultDir(TIniGTDefaultDir value)
{
    FDefaultDir = value;
    SetFileName(FFileName);
}

void TIniGT::SetFileName(const QString& value)
{
    FFileName = value;
    QString path = value;
    if (!value.isEmpty() && !QDir::fromNativeSeparators(value).contains(u'/')) {
        switch (FDefaultDir) {
        case ddApplication: {
            const QString dir = QCoreApplication::applicationDirPath();
            if (!dir.isEmpty())
                path = ApplicationFilePath(
                    dir, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                    value);
            break;
        }
        case ddWindows:
            // There is no Windows directory here: the name stays as it is, as with ddNone.
        case ddNone:
            break;
        }
    }
    FIniFile = TIniFile(path);
}

QString TIniGT::ApplicationFilePath(const QString& programDir, const QString& configDir,
                                    const QString& fileName)
{
    const QString portable = QDir(programDir).filePath(fileName);
    const QFileInfo file(portable);
    const bool writable = file.exists() ? file.isWritable() : QFileInfo(programDir).isWritable();
    if (writable || configDir.isEmpty())
        return portable;
    QDir().mkpath(configDir);
    return QDir(configDir).filePath(fileName);
}

void TIniGT::SetFence(TIniGTFence value)
{
    FFence = value;
    FFenceUnset = false;
}

void TIniGT::Loaded()
{
    if (FFileName.isEmpty())
        SetFileName(DefaultFileNameFor(QCoreApplication::applicationFilePath()));
}

QString TIniGT::DefaultFileNameFor(const QString& executableName)
{
    QString name = QFileInfo(executableName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    name += u".INI";
    for (QChar& c : name) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    if (name[0] >= u'a' && name[0] <= u'z')
        name[0] = QChar(name[0].unicode() - (u'a' - u'A'));
    return name;
}

QString TIniGT::enclosed(const QString& value) const
{
    switch (FFence) {
    case fnDoubleQuote:
        return u'"' + value + u'"';
    case fnParenthesis:
    case fnVer11Mode:
        return OpenBracket + value + CloseBracket;
    case fnNone:
        break;
    }
    return value;
}

void TIniGT::raiseWriteError() const
{
    const QString path =
        FilePath().isEmpty() ? QString() : QFileInfo(FilePath()).absoluteFilePath();
    throw EIniGTWriteError(QStringLiteral("%1 に書き込めません").arg(path));
}

QString TIniGT::ReadString(const QString& section, const QString& key,
                           const QString& defaultValue) const
{
    const std::optional<QString> stored = FIniFile.ReadValue(section, key);
    if (!stored)
        return defaultValue;
    QString text = *stored;
    if (text.size() >= 2) {
        const bool quoted = text.front() == u'"' && text.back() == u'"';
        const bool bracketed = text.front() == OpenBracket && text.back() == CloseBracket;
        if ((quoted && (FFence == fnDoubleQuote || FFence == fnVer11Mode)) ||
            (!quoted && bracketed && (FFence == fnParenthesis || FFence == fnVer11Mode)))
            text = text.sliced(1, text.size() - 2);
    }
    // Cut after the enclosure is removed, so that a long enclosed value keeps neither half
    // of its enclosure.
    return TIniFile::CutValue(text);
}

void TIniGT::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (!FIniFile.WriteString(section, key, enclosed(value)))
        raiseWriteError();
}

qint32 TIniGT::ReadInteger(const QString& section, const QString& key, qint32 defaultValue) const
{
    QString text = FIniFile.ReadString(section, key, QString());
    if (text.size() > 2 && (text.startsWith(u"0x") || text.startsWith(u"0X")))
        text.replace(0, 2, u'$');
    return parseInteger(text).value_or(defaultValue);
}

void TIniGT::WriteInteger(const QString& section, const QString& key, qint32 value)
{
    if (!FIniFile.WriteString(section, key, QString::number(value)))
        raiseWriteError();
}

bool TIniGT::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniGT::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteInteger(section, key, value ? 1 : 0);
}

bool TIniGT::HasPlacement(const QString& section, const QString& prefix) const
{
    for (const char* suffix : {".X", ".Y", ".XSize", ".YSize", ".Show", ".Flags"}) {
        if (FIniFile.ReadValue(section, prefix + QLatin1String(suffix)))
            return true;
    }
    return false;
}

void TIniGT::ReadWindowPlacement(const QString& section, const QString& prefix, QWidget* window)
{
    // Moving a window to its own place would still pin it there for the window manager.
    if (!HasPlacement(section, prefix))
        return;
    const Qt::WindowStates state = window->windowState();
    const QRect normal = normalRect(window);

    const qint32 flags = ReadInteger(section, prefix + QStringLiteral(".Flags"), flagsOf(state));
    const qint32 show = ReadInteger(section, prefix + QStringLiteral(".Show"), showStateOf(state));
    // .MaxX and .MaxY have no counterpart here: a maximised window fills its screen.
    const qint32 left = ReadInteger(section, prefix + QStringLiteral(".X"), normal.left());
    const qint32 top = ReadInteger(section, prefix + QStringLiteral(".Y"), normal.top());
    const qint32 right =
        ReadInteger(section, prefix + QStringLiteral(".XSize"), normal.left() + normal.width());
    const qint32 bottom =
        ReadInteger(section, prefix + QStringLiteral(".YSize"), normal.top() + normal.height());

    // Any other show state (hidden among them) leaves the window normal: a settings file
    // must not be able to make a window vanish.
    Qt::WindowStates target = state & ~NotNormal;
    if (show == ShowMaximized) {
        target |= Qt::WindowMaximized;
    } else if (show == ShowMinimized || show == MinimizeNoActive || show == ShowMinNoActive) {
        target |= Qt::WindowMinimized;
        if (flags & RestoreToMaximized)
            target |= Qt::WindowMaximized;
    }

    // The normal rectangle can only be given to a window in the normal state.
    if (state & NotNormal)
        window->setWindowState(state & ~NotNormal);
    window->setGeometry(withinScreens(left, top, qint64(right) - left, qint64(bottom) - top));
    if (window->windowState() != target)
        window->setWindowState(target);
}

void TIniGT::WriteWindowPlacement(const QString& section, const QString& prefix, QWidget* window)
{
    const Qt::WindowStates state = window->windowState();
    const QRect normal = normalRect(window);
    TWriteBatch batch(*this);
    WriteInteger(section, prefix + QStringLiteral(".Flags"), flagsOf(state));
    WriteInteger(section, prefix + QStringLiteral(".Show"), showStateOf(state));
    WriteInteger(section, prefix + QStringLiteral(".MaxX"), -1);
    WriteInteger(section, prefix + QStringLiteral(".MaxY"), -1);
    WriteInteger(section, prefix + QStringLiteral(".X"), normal.left());
    WriteInteger(section, prefix + QStringLiteral(".Y"), normal.top());
    WriteInteger(section, prefix + QStringLiteral(".XSize"), normal.left() + normal.width());
    WriteInteger(section, prefix + QStringLiteral(".YSize"), normal.top() + normal.height());
    batch.Commit();
}

void TIniGT::ReadPosition(const QString& section, const QString& prefix, QWidget* widget)
{
    const qint32 left = ReadInteger(section, prefix + QStringLiteral(".X"), widget->x());
    const qint32 top = ReadInteger(section, prefix + QStringLiteral(".Y"), widget->y());
    if (widget->isWindow())
        widget->move(withinScreens(left, top, widget->width(), widget->height()).topLeft());
    else
        widget->move(boundedCoordinate(left), boundedCoordinate(top));
}

void TIniGT::WritePosition(const QString& section, const QString& prefix, QWidget* widget)
{
    TWriteBatch batch(*this);
    WriteInteger(section, prefix + QStringLiteral(".X"), widget->x());
    WriteInteger(section, prefix + QStringLiteral(".Y"), widget->y());
    batch.Commit();
}
