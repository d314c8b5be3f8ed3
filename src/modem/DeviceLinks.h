#pragma once

#include <QList>
#include <QString>

// Which COM numbers a serial device answers to, and the links "portas/COMn" that tie a device to
// a number (in place of the device manager of other systems). Pure file-system logic.
namespace DeviceLinks {

constexpr int kMaxCom = 999;

// COM numbers 1..kMaxCom that open `device` (compared by resolved path) under dataDir.
QList<int> comNumbersFor(const QString& device, const QString& dataDir);
// The COM numbers that have a link in dataDir/portas, ascending.
QList<int> linkedNumbers(const QString& dataDir);
// A stable name for the device: its /dev/serial/by-id link when there is one, else the device.
QString stablePath(const QString& device, const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));
// Makes (or replaces) dataDir/portas/COMn -> target. Returns an empty text or the error.
QString link(int comNumber, const QString& target, const QString& dataDir);
// Removes dataDir/portas/COMn. Returns an empty text or the error.
QString unlink(int comNumber, const QString& dataDir);

} // namespace DeviceLinks
