#include "optout/OptOutAddress.h"

#include <phonenumbers/phonenumberutil.h>

#include <algorithm>

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

bool isControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
}

// Trimmed, bounded, with every control character made '?': what is kept of a text that is not normalised.
QString asWritten(const QString& text) {
    QString t = text.trimmed().left(OptOutAddress::kMaxChars);
    for (QChar& c : t)
        if (isControl(c))
            c = QLatin1Char('?');
    return t;
}

bool hasControl(const QString& text) {
    for (QChar c : text)
        if (isControl(c))
            return true;
    return false;
}

// Kept as written when it holds a letter or a digit; punctuation alone is no address.
OptOutAddress written(const QString& text) {
    OptOutAddress a;
    a.key = asWritten(text);
    const bool any = std::any_of(a.key.begin(), a.key.end(), [](QChar c) { return c.isLetterOrNumber(); });
    a.kind = any ? OptOutAddress::Kind::AsWritten : OptOutAddress::Kind::Empty;
    if (!any)
        a.key.clear();
    return a;
}

} // namespace

QString OptOutAddress::writtenKey(const QString& text) {
    return asWritten(text);
}

QString OptOutAddress::digits(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            out += c;
    return out;
}

OptOutAddress OptOutAddress::fromPhone(const QString& text) {
    const QString trimmed = text.trimmed();
    // A control byte or a text no phone number is that long: not a number anyone typed; kept as written.
    if (trimmed.size() > kMaxChars || hasControl(trimmed) || digits(trimmed).isEmpty())
        return written(text);
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    if (util->Parse(trimmed.toStdString(), "BR", &number) != PhoneNumberUtil::NO_PARSING_ERROR ||
        !util->IsValidNumber(number))
        return written(text);
    std::string e164;
    util->Format(number, PhoneNumberUtil::E164, &e164);
    std::string nsn;
    util->GetNationalSignificantNumber(number, &nsn);
    OptOutAddress a;
    a.kind = Kind::Phone;
    a.key = QString::fromStdString(e164);
    a.national = QString::fromStdString(nsn);
    const PhoneNumberUtil::PhoneNumberType type = util->GetNumberType(number);
    a.mobile = type == PhoneNumberUtil::MOBILE || type == PhoneNumberUtil::FIXED_LINE_OR_MOBILE;
    return a;
}

OptOutAddress OptOutAddress::fromEmail(const QString& text) {
    OptOutAddress a = written(text);
    if (a.kind == Kind::AsWritten && !hasControl(text.trimmed()) && a.key.contains(QLatin1Char('@'))) {
        a.kind = Kind::Email;
        a.key = a.key.toLower();
    }
    return a;
}

OptOutAddress OptOutAddress::from(const QString& text) {
    return text.contains(QLatin1Char('@')) ? fromEmail(text) : fromPhone(text);
}
