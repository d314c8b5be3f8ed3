// libFuzzer target: arbitrary modem output as the answer to AT+CMGL="ALL" and AT+CPMS?, then as
// the answers to AT+CMGR and AT+CMGD, and as a PDU-mode AT+CMGL=4 listing (parts decoded and joined).
// The first byte picks which headers delimit records.
#include "sms/InboxListing.h"
#include "sms/PduInboxListing.h"

#include <QTimeZone>

#include <cstddef>
#include <cstdint>

namespace {

void readReply(QByteArrayView bytes) {
    InboxListing::ReplyReader reply;
    for (const char c : bytes)
        reply.append(c);
    (void)InboxListing::cmgrHeader(reply.lineStartingWith("+CMGR: "));
    (void)reply.ok();
}

void readPduListing(QByteArrayView bytes) {
    const PduInboxListing::Sorted sorted = PduInboxListing::sort(PduInboxListing::entries(bytes));
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1800000000, QTimeZone(0));
    QList<pdu::InboxPart> parts = sorted.parts;
    for (pdu::InboxPart& p : parts)
        p.firstSeen = now.addDays(-1);
    for (const pdu::JoinedSms& sms : pdu::joinParts(parts, now).ready) {
        (void)PduInboxListing::stampText(sms.sent);
        if (PduInboxListing::codigo(sms.indices).size() > 50)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const unsigned mask = data[0];
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    InboxListing::ListingReader reader;
    bool counted = false;
    for (const char c : bytes)
        counted = reader.append(c) == InboxListing::ListingReader::Event::CountEnded || counted;
    const QByteArray listing = counted ? reader.listing() : bytes.toByteArray();
    (void)reader.used();
    const QList<InboxListing::Header> all = InboxListing::headers(listing);
    QList<InboxListing::Header> kept;
    for (int i = 0; i < all.size(); ++i)
        if (mask & (1u << (i % 8)))
            kept.append(all[i]);
    const QList<InboxRecord> records = InboxListing::records(listing, kept);
    if (records.size() != kept.size())
        __builtin_trap();
    for (const InboxRecord& r : records) {
        (void)InboxListing::receivedAt(r.data);
        if (!listing.contains(r.sms.toLatin1())) // a text is always a piece of the listing
            __builtin_trap();
    }
    (void)InboxListing::parse(listing);
    // The modem's own lines are only ever taken out.
    if (InboxListing::withoutNoise(listing).size() > listing.size())
        __builtin_trap();
    (void)InboxListing::state(listing);
    readReply(bytes);
    readPduListing(bytes);
    return 0;
}
