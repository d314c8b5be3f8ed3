// libFuzzer target: PDUs as a modem might list or report them, decoded and joined.
#include "sms/ConcatJoiner.h"
#include "sms/PduDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // First byte: how the <length> is given; the rest as raw text, and hex-encoded so the fuzzer reaches the
    // fields behind the hex check.
    const int mode = data[0] % 3;
    const QByteArray raw(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray hex = raw.toHex();
    const int length = mode == 0   ? -1
                       : mode == 1 ? int(raw.size())
                                   : int(raw.size()) - 1 - (raw.isEmpty() ? 0 : raw[0]);
    QList<pdu::InboxPart> parts;
    for (const QByteArray& input : {raw, hex}) {
        pdu::decodeStatusReport(input, length);
        const auto d = pdu::decodeDeliver(input, length);
        if (!d.value)
            continue;
        pdu::InboxPart p;
        p.index = int(parts.size());
        p.sender = d.value->sender.number;
        p.text = d.value->text;
        p.firstSeen = QDateTime::fromSecsSinceEpoch(0);
        if (d.value->concat) {
            p.concatenated = true;
            p.reference = d.value->concat->reference;
            p.total = d.value->concat->total;
            p.sequence = d.value->concat->sequence;
        }
        parts.append(p);
    }
    pdu::joinParts(parts, QDateTime::fromSecsSinceEpoch(86400));
    return 0;
}
