#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>

// Joins the parts of concatenated SMS listed on a modem into whole messages. Pure: the caller keeps, for each
// part, when it first saw it, and passes the current time.
namespace pdu {

// One message as listed on the modem (decoded SMS-DELIVER).
struct InboxPart {
    int index = 0; // position on the modem, for AT+CMGD
    QString sender;
    QDateTime sent; // centre time stamp
    QString text;
    bool concatenated = false;
    int reference = 0;
    bool wideReference = false;
    int total = 1;
    int sequence = 1;
    QDateTime firstSeen; // when the program first listed this part
};

// A message ready to be stored; its parts may be deleted on the modem once it is committed.
struct JoinedSms {
    QString sender;
    QDateTime sent;     // time stamp of its earliest part present
    QString text;       // parts in order, "[parte faltando]" where one never arrived
    QList<int> indices; // modem positions of every part it used (duplicates included)
    bool complete = true;
};

struct JoinResult {
    QList<JoinedSms> ready; // in the order of their lowest modem position
    QList<int> waiting;     // positions of parts kept on the modem for their missing siblings
};

inline const QString kMissingPart = QStringLiteral("[parte faltando]");
constexpr std::chrono::hours kPartWait{24};

// Groups parts by (sender, reference, part count); a group is ready when every part is there, or when its
// first part was seen kPartWait (or maxWait) before now.
JoinResult joinParts(const QList<InboxPart>& parts, const QDateTime& now, std::chrono::seconds maxWait = kPartWait);

} // namespace pdu
