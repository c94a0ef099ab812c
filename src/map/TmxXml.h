#pragma once

// The XML safeguards of the TMX reader: a bound on the attributes of one element, enforced
// before Qt's reader sees them, refusal of declared entities, and short quotes of values;
// and the reader's way of failing.

#include <QIODevice>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>
#include <algorithm>

namespace TmxDetail {

// A reason the import stops; caught at the top and turned into the caller's message.
struct TmxError
{
    QString Message;
};

[[noreturn]] inline void fail(const QString& message)
{
    throw TmxError{message};
}

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
    explicit TXmlGuard(QIODevice& source) : FSource(source)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool Refused() const { return FRefused; }

    // The text of a tile layer's <data> is held back from the reader, which would keep it
    // whole as one string: the reader sees the start tag, then nothing until the text has
    // been taken with ReadHeldText.
    bool Holding() const { return FHolding; }
    // Up to `maxSize` bytes of the held text, as the file has them; 0 once it is all taken
    // (the reader goes on from the '<' after it).
    qint64 ReadHeldText(char* data, qint64 maxSize)
    {
        qint64 n = 0;
        while (FHolding && n < maxSize) {
            if (FAt == FAhead.size() && !fill())
                FHolding = false;
            while (FHolding && n < maxSize && FAt < FAhead.size()) {
                const char c = FAhead[FAt];
                if (c == '<') {
                    FHolding = false;
                    break;
                }
                data[n++] = c;
                ++FAt;
            }
        }
        return n;
    }
    // How many bytes the reader has been given.
    qint64 Delivered() const { return FDelivered; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (FRefused)
            return -1;
        qint64 n = 0;
        while (n < maxSize && !FHolding) {
            if (FAt == FAhead.size() && !fill())
                break;
            const char c = FAhead[FAt++];
            data[n++] = c;
            if (!step(c)) {
                FRefused = true;
                return -1;
            }
        }
        FDelivered += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    bool fill()
    {
        FAhead.resize(64 * 1024);
        const qint64 n = FSource.read(FAhead.data(), FAhead.size());
        FAhead.resize(std::max<qint64>(n, 0));
        FAt = 0;
        if (FFirst && n > 0) {
            // Only a byte-oriented encoding lets the text be taken as bytes.
            const uchar b = uchar(FAhead[0]);
            FMayHold = b != 0 && b != 0xfe && b != 0xff;
            FFirst = false;
        }
        return n > 0;
    }
    // A start or end tag closed: elements are counted, and the text of a <data> right in a
    // <layer> held back.
    void tagClosed()
    {
        if (FState == State::EndTag) {
            --FDepth;
            if (FDepth == FLayerDepth)
                FLayerDepth = -1;
            return;
        }
        if (FSelfClosing)
            return;
        if (FName == "layer" && FLayerDepth < 0)
            FLayerDepth = FDepth;
        else if (FName == "data" && FLayerDepth >= 0 && FDepth == FLayerDepth + 1 && FMayHold)
            FHolding = textEncoded();
        ++FDepth;
    }
    // The tag names the text encodings, CSV or base64, whose text the guard may take.
    bool textEncoded() const
    {
        for (const char* e : {"encoding=\"c", "encoding=\"b", "encoding='c", "encoding='b"})
            if (FTag.contains(e))
                return true;
        return false;
    }
    void name(char c)
    {
        if (FTag.size() < 256)
            FTag.append(c);
        if (!FNaming)
            return;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>')
            FNaming = false;
        else
            FName.append(c);
    }

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
                FName = QByteArray(1, c);
                FTag.clear();
                FNaming = true;
                FSelfClosing = false;
            }
            break;
        case State::Tag:
            name(c);
            if (c != '>' && c != ' ' && c != '\t' && c != '\n' && c != '\r')
                FSelfClosing = c == '/';
            if (c == '"' || c == '\'') {
                FQuote = c;
                FState = State::Quote;
            } else if (c == '=') {
                if (++FCount > MaxXmlAttributes)
                    return false;
            } else if (c == '>') {
                tagClosed();
                FState = State::Text;
            }
            break;
        case State::Quote:
            if (FTag.size() < 256)
                FTag.append(c);
            if (c == FQuote)
                FState = State::Tag;
            break;
        case State::EndTag:
            if (c == '>') {
                tagClosed();
                FState = State::Text;
            }
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
    QByteArray FAhead; // read from the source, not yet passed on
    qsizetype FAt = 0;
    qint64 FDelivered = 0;
    QByteArray FName; // of the start tag being read
    QByteArray FTag;  // its first bytes after '<
    bool FNaming = false;
    bool FSelfClosing = false;
    int FDepth = 0;
    int FLayerDepth = -1; // the depth of the <layer> the guard is in, or -1
    bool FHolding = false;
    bool FFirst = true;
    bool FMayHold = false;
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

// Fails with the reason the XML reader stopped.
[[noreturn]] inline void xmlFail(const QXmlStreamReader& xml)
{
    const auto* guard = dynamic_cast<const TXmlGuard*>(xml.device());
    if (guard && guard->Refused())
        fail(QStringLiteral("an element has more than %1 attributes").arg(MaxXmlAttributes));
    if (xml.hasError())
        fail(QStringLiteral("malformed XML at line %1: %2")
                 .arg(xml.lineNumber())
                 .arg(Quoted(xml.errorString())));
    fail(QStringLiteral("malformed XML: no document element"));
}

// Reads up to the document element, or fails.
inline void toDocumentElement(QXmlStreamReader& xml)
{
    const QString refusal = ReadToDocumentElement(xml);
    if (!refusal.isEmpty())
        fail(refusal);
    if (xml.tokenType() != QXmlStreamReader::StartElement)
        xmlFail(xml);
}

} // namespace TmxDetail
