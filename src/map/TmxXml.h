#pragma once

// The XML safeguards of the TMX reader: a bound on the attributes of one element, enforced
// before Qt's reader sees them, refusal of declared entities, and short quotes of values.

#include <QIODevice>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

namespace TmxDetail {

// No TMX or tileset element has more than a dozen attributes. Qt's reader compares each
// attribute of an element with all the others before it, so that 100,000 of them would
// take seconds and a million minutes; an element with more than this many is refused.
inline constexpr int MaxXmlAttributes = 256;

// How much of a value a message quotes; file names, which users need to see whole, may
// be longer.
inline constexpr qsizetype MaxQuoted = 40;
inline constexpr qsizetype MaxQuotedFileName = 256;

// At most the first `most` characters of a value, for messages.
inline QString Quoted(QStringView text, qsizetype most = MaxQuoted)
{
    if (text.size() <= most)
        return text.toString();
    return text.left(most).toString() + QStringLiteral("... (%1 characters)").arg(text.size());
}

// Passes a document on to the XML reader unchanged, counting the attributes of each tag
// on the way; at the first tag with more than MaxXmlAttributes it ends the document there,
// so that the reader never sees that tag whole, and Refused() says so.
class TXmlGuard : public QIODevice
{
public:
    explicit TXmlGuard(QIODevice& source) : FSource(source) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    bool Refused() const { return FRefused; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (FRefused)
            return -1;
        const qint64 n = FSource.read(data, maxSize);
        if (n <= 0)
            return n;
        for (qint64 i = 0; i < n; ++i) {
            if (!step(data[i])) {
                FRefused = true;
                return -1;
            }
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class State
    {
        Text,
        Open,   // just after '<'
        Tag,    // in a start tag
        Quote,  // in an attribute value of a start tag
        Bang,   // after "<!", telling a comment, CDATA or a declaration apart
        Skip,   // in a comment, CDATA, declaration or processing instruction
        EndTag, // in an end tag
    };

    bool step(char c)
    {
        switch (FState) {
        case State::Text:
            if (c == '<')
                FState = State::Open;
            break;
        case State::Open:
            if (c == '!') {
                FState = State::Bang;
                FSeen.clear();
            } else if (c == '?') {
                skipUntil("?>");
            } else if (c == '/') {
                FState = State::EndTag;
            } else {
                FState = State::Tag;
                FCount = 0;
            }
            break;
        case State::Tag:
            if (c == '"' || c == '\'') {
                FQuote = c;
                FState = State::Quote;
            } else if (c == '=') {
                if (++FCount > MaxXmlAttributes)
                    return false;
            } else if (c == '>') {
                FState = State::Text;
            }
            break;
        case State::Quote:
            if (c == FQuote)
                FState = State::Tag;
            break;
        case State::EndTag:
            if (c == '>')
                FState = State::Text;
            break;
        case State::Bang:
            FSeen.append(c);
            if (FSeen == "--")
                skipUntil("-->");
            else if (FSeen == "[CDATA[")
                skipUntil("]]>");
            else if (!QByteArrayLiteral("[CDATA[").startsWith(FSeen) &&
                     !QByteArrayLiteral("--").startsWith(FSeen))
                skipUntil(">"); // a declaration; its own '>' inside quotes are rare enough
            break;
        case State::Skip:
            FSeen.append(c);
            if (FSeen.endsWith(FEnd)) {
                FState = State::Text;
            } else if (FSeen.size() > 64) {
                FSeen.remove(0, FSeen.size() - 8);
            }
            break;
        }
        return true;
    }
    void skipUntil(const char* end)
    {
        FState = State::Skip;
        FEnd = end;
        FSeen.clear();
    }

    QIODevice& FSource;
    State FState = State::Text;
    int FCount = 0;
    char FQuote = '"';
    QByteArray FSeen;
    QByteArray FEnd;
    bool FRefused = false;
};

// Reads up to the document element. A document type declaration may name a DTD, but one
// that declares entities is refused before any of them is expanded: TMX needs none, and
// nested entities let a small file expand to gigabytes. Returns an empty string when the
// reader stands on the document element, else the reason it does not.
inline QString ReadToDocumentElement(QXmlStreamReader& xml)
{
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement)
            return QString();
        if (token == QXmlStreamReader::DTD &&
            (!xml.entityDeclarations().isEmpty() || xml.text().contains(u"<!ENTITY")))
            return QStringLiteral("the document declares entities; TMX files need none");
    }
    return QString();
}

} // namespace TmxDetail
