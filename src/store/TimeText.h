#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

// Times as text. Date and time stamps: the store keeps them as "yyyy-MM-dd HH:mm:ss" (they sort as text and
// match SQLite's datetime()); the operator reads them day first, "dd/MM/yyyy HH:mm:ss", in log lines, grids
// and the printed report. And a time of day kept as text in a settings column ("08:00", "08:00:00", or a
// date and time from an older file): read it, and write a new time back in the same form.
namespace TimeText {

// The local date and time now, as QDateTime::currentDateTime() gives it, with the zone's offset from UTC looked up
// again only when the second changes: the C library reads /etc/localtime at every conversion to local time, and a
// send of 64 modems stamps hundreds of log lines a second. It carries that offset from UTC (the same date, time and
// text as the local time). Per thread.
QDateTime localNow();

// "dd/MM/yyyy HH:mm:ss": the stamp of a log line, a status line, a grid cell.
QString stampShown(const QDateTime& at);
// "yyyy-MM-dd HH:mm:ss": the stamp as a table column keeps it.
QString stampStored(const QDateTime& at);
// "dd/MM/yyyy".
QString dateShown(const QDate& date);
// A stored stamp as the operator reads it: "yyyy-MM-dd HH:mm:ss" (anything after the seconds dropped)
// becomes "dd/MM/yyyy HH:mm:ss", a date alone "yyyy-MM-dd" becomes "dd/MM/yyyy"; other text stays as it is.
// Quick on the exact stored form (a printed report shows a million).
QString storedStampShown(const QString& stored);
// Exactly "yyyy-MM-dd HH:mm:ss" (ASCII digits, nothing before or after) with a real date and time of day.
// Local time plays no part: an hour skipped by a daylight-saving change is a stamp.
bool isStoredStamp(const QString& text);
// The local date and time a stored or shown stamp reads as; invalid unless the whole text is the form
// (no spaces around it, nothing after the seconds) and the time exists in the local zone.
QDateTime stampFromStored(const QString& stored);
QDateTime stampFromShown(const QString& shown);

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
