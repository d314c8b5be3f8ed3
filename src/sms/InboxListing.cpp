#include "sms/InboxListing.h"

#include "sms/ResponseHandler.h"

namespace InboxListing {
namespace {

const QByteArray kHeader = QByteArrayLiteral("+CMGL: ");
const QByteArray kOkLine = QByteArrayLiteral("\r\nOK\r\n");
const QByteArray kEndAfterRecords = QByteArrayLiteral("\r\n\r\nOK\r\n");

// Offsets of the "+CMGL: " header lines (at the start of the listing or of a line).
QList<qsizetype> headerOffsets(const QByteArray& listing) {
    QList<qsizetype> offsets;
    for (qsizetype at = listing.indexOf(kHeader); at >= 0; at = listing.indexOf(kHeader, at + 1))
        if (at == 0 || listing.at(at - 1) == '\n')
            offsets.append(at);
    return offsets;
}

QString lastLine(const QByteArray& listing) {
    QByteArray body = listing.chopped(2); // the final CR LF
    const qsizetype start = qMax(body.lastIndexOf('\n'), body.lastIndexOf('\r')) + 1;
    return QString::fromLatin1(body.mid(start));
}

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

InboxRecord record(const QByteArray& block) {
    InboxRecord r;
    const qsizetype eol = block.indexOf("\r\n");
    const QString header = QString::fromLatin1(eol < 0 ? block : block.left(eol));
    r.sms = eol < 0 ? QString() : QString::fromLatin1(block.mid(eol + 2));
    const QStringList items = headerItems(header);
    if (!items.isEmpty())
        r.codigo = digitsOf(items.at(0));
    if (items.size() >= 3)
        r.fone = unquoted(items.at(2));
    // With a name the time stamp is the fifth item, without one (empty name) the fourth.
    if (items.size() >= 4)
        r.data = stampText(items.last());
    return r;
}

} // namespace

State state(const QByteArray& listing) {
    if (listing.endsWith(kOkLine)) {
        if (headerOffsets(listing).isEmpty() || listing.endsWith(kEndAfterRecords))
            return State::Complete;
        return State::Incomplete; // a text line "OK" inside a message
    }
    if (!listing.endsWith("\r\n") || !headerOffsets(listing).isEmpty())
        return State::Incomplete;
    const QString line = lastLine(listing);
    if (line == QLatin1String("ERROR") || line.startsWith(QLatin1String("+CMS ERROR:")) ||
        line.startsWith(QLatin1String("+CME ERROR:")))
        return State::Failed;
    return State::Incomplete;
}

QList<InboxRecord> parse(const QByteArray& listing) {
    QList<InboxRecord> records;
    const QList<qsizetype> offsets = headerOffsets(listing);
    qsizetype end = listing.size();
    if (listing.endsWith(kEndAfterRecords))
        end -= kEndAfterRecords.size();
    for (int i = 0; i < offsets.size(); ++i) {
        const qsizetype from = offsets[i] + 1;                            // "CMGL: ..."
        qsizetype to = i + 1 < offsets.size() ? offsets[i + 1] - 2 : end; // before CR LF "+CMGL: "
        if (to < from)
            to = from;
        records.append(record(listing.mid(from, to - from)));
    }
    return records;
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
    text = ExtractBetween(text, QStringLiteral("a"), QStringLiteral("-"), true);
    const qsizetype plus = text.indexOf(QLatin1Char('+'));
    return plus >= 0 ? text.left(plus) : text;
}

QDateTime receivedAt(const QString& data) {
    const QString text = data.trimmed();
    QDateTime at = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (!at.isValid()) {
        // Modems give the service centre time stamp year first, with two digits (yy/MM/dd).
        at = QDateTime::fromString(text, QStringLiteral("yy/MM/dd HH:mm:ss"));
        if (at.isValid() && at.date().year() < 2000)
            at = at.addYears(100);
    }
    return at;
}

} // namespace InboxListing
