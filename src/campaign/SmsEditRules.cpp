#include "campaign/SmsEditRules.h"

#include "campaign/SmsKeyFilter.h"
#include "sms/PduEncoder.h"

namespace SmsEditRules {
namespace {

bool fitsParts(const QString& text) {
    return pdu::countSms(text).parts <= pdu::kMaxParts;
}

// Ends of the characters of s (after each code point), so a cut never halves a surrogate pair.
QList<qsizetype> characterEnds(const QString& s) {
    QList<qsizetype> ends;
    for (qsizetype i = 0; i < s.size();) {
        i += (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) ? 2 : 1;
        ends << i;
    }
    return ends;
}

QString fitPdu(const QString& before, const QString& after, const QString& inserted) {
    if (fitsParts(before + inserted + after))
        return inserted;
    // The part count only grows with the inserted beginning: search the longest one that fits.
    const QList<qsizetype> ends = characterEnds(inserted);
    qsizetype low = 0;
    qsizetype high = ends.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (fitsParts(before + inserted.left(ends[mid - 1]) + after))
            low = mid;
        else
            high = mid - 1;
    }
    return low == 0 ? QString() : inserted.left(ends[low - 1]);
}

} // namespace

SmsMode modeOf(const QString& modoSms) {
    return modoSms == QLatin1String("PDU") ? SmsMode::Pdu : SmsMode::Text;
}

bool accepts(SmsMode mode, char32_t code) {
    if (mode == SmsMode::Text)
        return SmsKeyFilter::accepts(code);
    if (code == 8 || code == 9)
        return true;
    const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    return !control && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

QString fitInsertion(SmsMode mode, const QString& text, int from, int to, const QString& inserted) {
    from = qBound(0, from, int(text.size()));
    to = qBound(from, to, int(text.size()));
    if (mode == SmsMode::Text) {
        const int room = SmsKeyFilter::kMaxLength - int(text.size()) + (to - from);
        return room <= 0 ? QString() : inserted.left(room);
    }
    return fitPdu(text.left(from), text.mid(to), inserted);
}

QString counterText(SmsMode mode, const QString& text) {
    if (mode == SmsMode::Text)
        return SmsKeyFilter::counterText(int(text.size()));
    const pdu::SmsCount c = pdu::countSms(text);
    return QStringLiteral("Total Caracteres: %1 (%2 SMS)").arg(c.characters).arg(c.parts);
}

} // namespace SmsEditRules
