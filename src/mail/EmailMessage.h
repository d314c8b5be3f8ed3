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
};

} // namespace vestral::mail
