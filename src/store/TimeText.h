#pragma once

#include <QString>
#include <QTime>
#include <optional>

// A time of day kept as text in a settings column ("08:00", "08:00:00", or a date and time from an
// older file): read it, and write a new time back in the same form.
namespace TimeText {

// The time of day in `stored`, or an invalid time.
QTime read(const QString& stored);
// `time` in the form of `stored`: its date part and seconds kept; "HH:mm" when `stored` holds none.
QString inFormOf(const QString& stored, const QTime& time);

// Keys typed into a time box, hours then minutes ("1815", "18:15", "8:15"): the digits after
// `key` is typed over `digits`, or no value when the key does not fit there. A fifth digit starts
// a new time.
std::optional<QString> typed(const QString& digits, QChar key);
// The time the typed digits stand for so far ("1" = 01:00, "181" = 18:01, "1815" = 18:15).
QTime ofDigits(const QString& digits);

} // namespace TimeText
