#include "sms/InboxListing.h"

#include "modem/UnsolicitedLine.h"
#include "sms/TextCodec.h"
#include "store/TimeText.h"

namespace InboxListing {
namespace {

const QByteArray kHeader = QByteArrayLiteral("+CMGL: ");
const QByteArray kCpms = QByteArrayLiteral("+CPMS: ");
const QByteArray kCmgr = QByteArrayLiteral("+CMGR: ");
const QByteArray kOkLine = QByteArrayLiteral("\r\nOK\r\n");
const QByteArray kEndAfterRecords = QByteArrayLiteral("\r\n\r\nOK\r\n");

QString digitsOf(const QString& text) {
    QString d;
    for (const QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            d.append(c);
    return d;
}

QString unquoted(QString text) {
    return text.remove(QLatin1Char('"'));
}

// The time stamp is the first item from `from` on that holds a comma (date,time); a header
// without one keeps its last item, so that an odd stamp is still stored as the modem gave it.
QString stampOf(const QStringList& items, int from) {
    if (items.size() <= from)
        return QString();
    for (int i = from; i < items.size(); ++i)
        if (items.at(i).contains(QLatin1Char(',')))
            return stampText(items.at(i));
    return stampText(items.last());
}

// The line of `bytes` that starts at `from`, without its CR LF.
QByteArrayView lineAt(const QByteArray& bytes, qsizetype from) {
    qsizetype end = bytes.indexOf('\n', from);
    if (end < 0)
        end = bytes.size();
    while (end > from && (bytes.at(end - 1) == '\r' || bytes.at(end - 1) == '\n'))
        --end;
    return QByteArrayView(bytes).sliced(from, end - from);
}

InboxRecord headerRecord(QByteArrayView line, TextCharset charset) {
    InboxRecord r;
    const QStringList items = headerItems(TextCodec::decode(line.sliced(1), charset)); // "CMGL: ..."
    if (!items.isEmpty())
        r.codigo = digitsOf(items.at(0));
    if (items.size() >= 3)
        r.fone = unquoted(items.at(2));
    // With a name the time stamp is the fifth item, without one (empty name) the fourth.
    r.data = stampOf(items, 3);
    return r;
}

// Where the texts end: before the CR LF that precedes the final "OK" line.
qsizetype textsEnd(const QByteArray& listing) {
    if (listing.endsWith(kEndAfterRecords))
        return listing.size() - kEndAfterRecords.size();
    if (listing.endsWith(kOkLine))
        return listing.size() - kOkLine.size();
    return listing.size();
}

// The start of the line break before `at` (LF, or CR LF).
qsizetype beforeBreak(const QByteArray& bytes, qsizetype at) {
    if (at > 0 && bytes.at(at - 1) == '\n')
        --at;
    if (at > 0 && bytes.at(at - 1) == '\r')
        --at;
    return at;
}

} // namespace

bool LineBuffer::append(char c) {
    m_bytes.append(c);
    if (c != '\n')
        return false;
    m_lastStart = m_lineStart;
    m_lineStart = m_bytes.size();
    return true;
}

QByteArrayView LineBuffer::lastLine() const {
    qsizetype end = m_lineStart;
    while (end > m_lastStart && (m_bytes.at(end - 1) == '\n' || m_bytes.at(end - 1) == '\r'))
        --end;
    return QByteArrayView(m_bytes).sliced(m_lastStart, end - m_lastStart);
}

void LineBuffer::clear() {
    m_bytes.clear();
    m_lineStart = 0;
    m_lastStart = 0;
}

ListingReader::Event ListingReader::append(char c) {
    if (m_failed || !m_buffer.append(c))
        return Event::None;
    return m_counting ? countLine(m_buffer.lastLine()) : listingLine(m_buffer.lastLine());
}

ListingReader::Event ListingReader::listingLine(QByteArrayView line) {
    if (line.startsWith(kHeader)) {
        ++m_headers;
        return Event::None;
    }
    const QByteArray& bytes = m_buffer.bytes();
    if (line == "OK" && bytes.endsWith(kOkLine) && (m_headers == 0 || bytes.endsWith(kEndAfterRecords))) {
        m_counting = true;
        m_countFrom = bytes.size();
        return Event::ListingEnded;
    }
    if (m_headers == 0 && isErrorResult(line)) {
        m_failed = true;
        m_failure = QString::fromLatin1(line);
        return Event::ListingFailed;
    }
    return Event::None;
}

// Lines after AT+CPMS? was written: the rest of the listing (when its end was a text's), the
// command's echo, the "+CPMS:" line and its "OK". A modem that refuses AT+CPMS? leaves the count
// unknown.
ListingReader::Event ListingReader::countLine(QByteArrayView line) {
    const qsizetype start = m_buffer.lastLineStart();
    if (line.startsWith(kCpms)) {
        m_cpmsLine = start;
        return Event::None;
    }
    if (m_cpmsLine >= 0 && line == "OK") {
        m_used = cpmsUsed(lineAt(m_buffer.bytes(), m_cpmsLine));
        m_regionEnd = m_cpmsLine;
        return Event::CountEnded;
    }
    if (m_cpmsLine < 0 && isErrorResult(line)) {
        m_used.reset();
        m_regionEnd = start;
        return Event::CountEnded;
    }
    return Event::None;
}

QByteArray ListingReader::listing() const {
    const QByteArray region = m_buffer.bytes().left(m_regionEnd < 0 ? m_countFrom : m_regionEnd);
    const qsizetype end = region.lastIndexOf(kOkLine);
    return end < 0 ? region : region.left(end + kOkLine.size());
}

bool ReplyReader::append(char c) {
    if (!m_buffer.append(c))
        return false;
    const QByteArrayView line = m_buffer.lastLine();
    if (line != "OK" && !isErrorResult(line))
        return false;
    m_ok = line == "OK";
    m_final = QString::fromLatin1(line);
    return true;
}

QByteArray ReplyReader::lineStartingWith(QByteArrayView prefix) const {
    const QByteArray& bytes = m_buffer.bytes();
    for (qsizetype at = 0; at < bytes.size();) {
        const QByteArrayView line = lineAt(bytes, at);
        if (line.startsWith(prefix))
            return line.toByteArray();
        const qsizetype next = bytes.indexOf('\n', at);
        if (next < 0)
            break;
        at = next + 1;
    }
    return QByteArray();
}

void ReplyReader::clear() {
    m_buffer.clear();
    m_ok = false;
    m_final.clear();
}

QList<Header> headers(const QByteArray& listing, TextCharset charset) {
    QList<Header> found;
    for (qsizetype at = 0; at < listing.size();) {
        const QByteArrayView line = lineAt(listing, at);
        if (line.startsWith(kHeader))
            found.append({at, headerRecord(line, charset)});
        const qsizetype next = listing.indexOf('\n', at);
        if (next < 0)
            break;
        at = next + 1;
    }
    return found;
}

QList<InboxRecord> records(const QByteArray& listing, const QList<Header>& kept, TextCharset charset) {
    QList<InboxRecord> out;
    const qsizetype end = textsEnd(listing);
    for (int i = 0; i < kept.size(); ++i) {
        InboxRecord r = kept[i].record;
        const qsizetype lineEnd = listing.indexOf('\n', kept[i].offset);
        const qsizetype from = lineEnd < 0 ? listing.size() : lineEnd + 1;
        const qsizetype to = i + 1 < kept.size() ? beforeBreak(listing, kept[i + 1].offset) : end;
        if (to > from)
            r.sms = TextCodec::decode(QByteArrayView(listing).sliced(from, to - from), charset);
        out.append(r);
    }
    return out;
}

QList<InboxRecord> parse(const QByteArray& listing, TextCharset charset) {
    return records(listing, headers(listing, charset), charset);
}

State state(const QByteArray& listing) {
    ListingReader reader;
    for (const char c : listing) {
        switch (reader.append(c)) {
        case ListingReader::Event::ListingEnded:
            return State::Complete;
        case ListingReader::Event::ListingFailed:
            return State::Failed;
        default:
            break;
        }
    }
    return State::Incomplete;
}

std::optional<int> cpmsUsed(QByteArrayView line) {
    if (!line.startsWith(kCpms))
        return std::nullopt;
    const QList<QByteArray> items = line.sliced(kCpms.size()).toByteArray().split(',');
    const int at = items.first().trimmed().startsWith('"') ? 1 : 0;
    if (items.size() <= at)
        return std::nullopt;
    bool ok = false;
    const int used = items.at(at).trimmed().toInt(&ok);
    if (!ok || used < 0)
        return std::nullopt;
    return used;
}

std::optional<InboxRecord> cmgrHeader(QByteArrayView line, TextCharset charset) {
    if (!line.startsWith(kCmgr))
        return std::nullopt;
    const QStringList items = headerItems(TextCodec::decode(line, charset));
    if (items.size() < 3)
        return std::nullopt;
    InboxRecord r;
    r.fone = unquoted(items.at(1));
    r.data = stampOf(items, 2);
    return r;
}

bool isErrorResult(QByteArrayView line) {
    return line == "ERROR" || line.startsWith("+CMS ERROR:") || line.startsWith("+CME ERROR:") ||
           UnsolicitedLine::isOtherRefusal(line);
}

// A line of the modem's own comes framed CR LF <line> CR LF at a line boundary, so a blank line stands
// next to it: before it, or after it (when it came between a line and that line's CR LF). The blank line
// before the listing's final "OK" frames no line of its own: a text's last line "RING" stays text.
QByteArray withoutNoise(const QByteArray& listing) {
    QByteArray out;
    out.reserve(listing.size());
    qsizetype at = 0;
    while (at < listing.size()) {
        qsizetype end = listing.indexOf("\r\n", at);
        if (end < 0) {
            out.append(listing.sliced(at));
            break;
        }
        const QByteArrayView line = QByteArrayView(listing).sliced(at, end - at);
        const bool framed = at >= 2 && listing.sliced(0, at).endsWith("\r\n");
        const bool blankBefore = framed && (at == 2 || listing.sliced(0, at - 2).endsWith("\n"));
        const QByteArrayView after = QByteArrayView(listing).sliced(end + 2);
        // After it, a blank line and another such line: that one is the modem's (framed by the blank line before it).
        const bool blankAfter = after.startsWith("\r\n") && after != "\r\nOK\r\n" &&
                                !UnsolicitedLine::isUnsolicited(lineAt(listing, end + 4));
        if (framed && !line.isEmpty() && (blankBefore || blankAfter) && UnsolicitedLine::isUnsolicited(line)) {
            if (blankBefore) {
                out.chop(2); // the frame's CR LF before the line
                at = end + 2;
            } else {
                at = end + 4; // the line, its CR LF and the frame's
            }
            continue;
        }
        out.append(listing.sliced(at, end + 2 - at));
        at = end + 2;
    }
    return out;
}

QStringList headerItems(const QString& header) {
    QStringList items;
    QString item;
    QChar quote;
    for (const QChar c : header) {
        if (!quote.isNull()) {
            item.append(c);
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (!item.isEmpty())
                items.append(item);
            item.clear();
        } else {
            if (c == QLatin1Char('"') || c == QLatin1Char('\''))
                quote = c;
            item.append(c);
        }
    }
    if (!item.isEmpty())
        items.append(item);
    return items;
}

QString stampText(const QString& item) {
    QString text = unquoted(item);
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma >= 0)
        text[comma] = QLatin1Char(' ');
    // The text after the first "a" (none in a modem's stamp), cut before the zone's sign.
    const qsizetype a = text.indexOf(QLatin1Char('a'));
    if (a >= 0)
        text = text.mid(a + 1);
    const qsizetype minus = text.indexOf(QLatin1Char('-'));
    if (minus >= 0)
        text = text.left(minus);
    const qsizetype plus = text.indexOf(QLatin1Char('+'));
    return plus >= 0 ? text.left(plus) : text;
}

QDateTime receivedAt(const QString& data) {
    const QString text = data.trimmed();
    QDateTime at = TimeText::stampFromShown(text);
    if (!at.isValid()) {
        // Modems give the service centre time stamp year first, with two digits (yy/MM/dd).
        at = QDateTime::fromString(text, QStringLiteral("yy/MM/dd HH:mm:ss"));
        if (at.isValid() && at.date().year() < 2000)
            at = at.addYears(100);
    }
    return at;
}

} // namespace InboxListing
