#include "CliText.h"

#include <QFile>

namespace {

// Bytes as a reader can tell them apart: printable ASCII as it is, every other byte as \xNN.
QString escapedBytes(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if (b >= 0x20 && b < 0x7F)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(uint(b), 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace

std::optional<QStringList> DecodeCliArguments(const QList<QByteArray>& args, QString* refusal)
{
    QStringList decoded;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString text = QFile::decodeName(args[i]);
        // A byte the platform's encoding does not know turns into a replacement character:
        // the name would then stand for another file, or none.
        if (QFile::encodeName(text) != args[i]) {
            if (refusal)
                *refusal = QStringLiteral("argument %1 (\"%2\") is not valid text in the "
                                          "system's encoding; no file of that name can be used")
                               .arg(i + 1)
                               .arg(escapedBytes(args[i]));
            return std::nullopt;
        }
        decoded << text;
    }
    return decoded;
}

QString OneLine(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            line += QStringLiteral("\\n");
        else if (u == u'\r')
            line += QStringLiteral("\\r");
        else if (u == u'\t')
            line += QStringLiteral("\\t");
        else if (u < 0x20 || u == 0x7F)
            line += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else if ((u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029 || u == 0x85)
            line += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}
