#include "sms/PduInboxListing.h"

#include "modem/UnsolicitedLine.h"
#include "sms/PduDecoder.h"
#include "store/TimeText.h"

#include <QHash>

namespace PduInboxListing {
namespace {

constexpr int kMaxIndex = 65535;
constexpr int kCodigoWidth = 50;

QString tr(const char* text) {
    return QString::fromUtf8(text);
}

bool isHeader(QByteArrayView line) {
    return line.startsWith("+CMGL:");
}

bool isFinal(QByteArrayView line) {
    return line == "OK" || line == "ERROR" || line.startsWith("+CMS ERROR:") || line.startsWith("+CME ERROR:");
}

// A non-negative decimal number of at most five digits, or -1.
int number(QByteArrayView item) {
    const QByteArrayView t = item.trimmed();
    if (t.isEmpty() || t.size() > 5)
        return -1;
    int value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Items of the header after "+CMGL:"; a comma inside double quotes (the <alpha> name) does not split.
QList<QByteArrayView> items(QByteArrayView header) {
    QList<QByteArrayView> out;
    const QByteArrayView body = header.sliced(6);
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] == '"')
            quoted = !quoted;
        else if (body[i] == ',' && !quoted) {
            out.append(body.sliced(start, i - start));
            start = i + 1;
        }
    }
    out.append(body.sliced(start));
    return out;
}

Entry readHeader(QByteArrayView line) {
    Entry e;
    e.header = line.toByteArray();
    const QList<QByteArrayView> parts = items(line);
    if (parts.size() < 3)
        return e;
    const int index = number(parts.first());
    e.index = index <= kMaxIndex ? index : -1;
    e.stat = number(parts[1]);
    e.length = number(parts.last());
    return e;
}

bool isHexLine(QByteArrayView line) {
    const QByteArrayView t = line.trimmed();
    if (t.isEmpty() || t.size() % 2 != 0)
        return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// Lines the modem sends on its own, wherever they fall in the listing: a delivery report ("+CDS: <length>" and its
// PDU line, taken by the response handler), the announcements of stored messages and reports, and every other line
// of its own (signal, registration, SIM state...). In PDU mode no text can look like one.
QList<QByteArrayView> withoutUnsolicited(const QList<QByteArrayView>& all) {
    QList<QByteArrayView> out;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (!all[i].startsWith("+CDS:")) {
            if (!UnsolicitedLine::isUnsolicited(all[i]))
                out.append(all[i]);
            continue;
        }
        qsizetype next = i + 1;
        while (next < all.size() && all[next].trimmed().isEmpty())
            ++next;
        if (next < all.size() && isHexLine(all[next]))
            i = next;
    }
    return out;
}

QList<QByteArrayView> lines(QByteArrayView answer) {
    QList<QByteArrayView> out;
    qsizetype start = 0;
    while (start < answer.size()) {
        qsizetype end = answer.indexOf('\n', start);
        if (end < 0)
            end = answer.size();
        QByteArrayView line = answer.sliced(start, end - start);
        while (line.endsWith('\r'))
            line.chop(1);
        out.append(line);
        start = end + 1;
    }
    return out;
}

pdu::InboxPart asPart(int index, const pdu::Deliver& d) {
    pdu::InboxPart p;
    p.index = index;
    p.sender = d.sender.number;
    p.sent = d.sent.time;
    p.text = d.text;
    if (d.concat) {
        p.concatenated = true;
        p.reference = d.concat->reference;
        p.wideReference = d.concat->wideReference;
        p.total = d.concat->total;
        p.sequence = d.concat->sequence;
    }
    return p;
}

void sortOne(const Entry& e, Sorted& out) {
    if (e.index < 0 || e.stat < 0 || e.length < 0) {
        out.refused.append({e.index, tr("cabeçalho ilegível: ") + QString::fromLatin1(e.header.left(80)), e.hex});
        return;
    }
    const pdu::Decoded<pdu::Deliver> d = pdu::decodeDeliver(e.hex, e.length);
    if (d.value) {
        out.parts.append(asPart(e.index, *d.value));
        return;
    }
    if (pdu::decodeStatusReport(e.hex, e.length).value) {
        out.reports.append({e.index, e.length, e.hex});
        return;
    }
    out.refused.append({e.index, d.error, e.hex});
}

} // namespace

QList<Entry> entries(QByteArrayView answer) {
    QList<Entry> out;
    const QList<QByteArrayView> all = withoutUnsolicited(lines(answer));
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (!isHeader(all[i]))
            continue;
        Entry e = readHeader(all[i]);
        qsizetype next = i + 1;
        while (next < all.size() && all[next].trimmed().isEmpty())
            ++next;
        if (next < all.size() && !isHeader(all[next]) && !isFinal(all[next])) {
            e.hex = all[next].trimmed().toByteArray();
            i = next;
        }
        out.append(e);
    }
    return out;
}

Sorted sort(const QList<Entry>& entries) {
    QHash<int, int> listed;
    for (const Entry& e : entries)
        ++listed[e.index];
    Sorted out;
    for (const Entry& e : entries) {
        if (e.stat >= kFirstStoredStat && e.index >= 0)
            continue; // an outgoing message kept by the modem
        if (e.index >= 0 && listed.value(e.index) > 1) {
            out.refused.append({e.index, tr("posição listada mais de uma vez"), e.hex});
            continue;
        }
        sortOne(e, out);
    }
    return out;
}

QString stampText(const QDateTime& sent) {
    return sent.isValid() ? TimeText::stampShown(sent) : QString();
}

QString codigo(const QList<int>& indices) {
    QString text;
    for (int index : indices) {
        const QString item = QString::number(index);
        const qsizetype width = text.isEmpty() ? item.size() : text.size() + 1 + item.size();
        if (width > kCodigoWidth)
            break;
        text += (text.isEmpty() ? QString() : QStringLiteral(",")) + item;
    }
    return text;
}

QList<int> indices(const QString& codigo) {
    QList<int> out;
    for (const QString& item : codigo.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int index = item.toInt(&ok);
        if (!ok)
            return {};
        out.append(index);
    }
    return out;
}

} // namespace PduInboxListing
