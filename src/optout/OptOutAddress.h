#pragma once

#include <QString>

// One address of the opt-out list as it is kept and compared: a phone number in E.164 (Brazil the default
// country, so "+55 11 98765-4321", "5511987654321", "011987654321", "(11) 98765-4321" and "11987654321" are
// one number), an e-mail address in lower case, or, for a number that cannot be normalised, the text as
// written. libphonenumber decides what a number is; nothing here knows the numbering plan.
struct OptOutAddress {
    enum class Kind {
        Phone,     // normalised to E.164
        Email,     // trimmed, lower case
        AsWritten, // neither: kept as written (trimmed, control characters made '?')
        Empty,     // nothing usable
    };
    Kind kind = Kind::Empty;
    QString key;         // what dbDESCADASTRO.ENDERECO holds and the lookups compare
    QString national;    // Phone: the national significant number (digits), what every spelling ends with
    bool mobile = false; // Phone: a mobile number (or one that may be mobile)

    bool isPhone() const { return kind == Kind::Phone; }
    bool isUsable() const { return kind != Kind::Empty; }

    // The longest text looked at; a longer one is kept as written (cut to this bound).
    static constexpr int kMaxChars = 254;

    // An e-mail address when the text holds '@', else a phone number, else the text as written.
    static OptOutAddress from(const QString& text);
    // A phone number only (a contact's FONE, a received SMS's sender).
    static OptOutAddress fromPhone(const QString& text);
    static OptOutAddress fromEmail(const QString& text);

    // The text as a number that cannot be normalised is kept: trimmed, bounded, control characters made '?'.
    static QString writtenKey(const QString& text);
    // The digits of a text, in order.
    static QString digits(const QString& text);
};
