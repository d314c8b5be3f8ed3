#pragma once

#include <QString>

namespace vestral::mail {

// One HTML e-mail to exactly one recipient, as the campaign fills it.
struct EmailMessage {
    QString fromAddress;
    QString fromName;
    QString toAddress;
    QString toName;
    QString subject;
    QString htmlBody;
    // "mailto:SENDER?subject=SAIR": the List-Unsubscribe header's link (none when empty).
    QString listUnsubscribe;
};

} // namespace vestral::mail
