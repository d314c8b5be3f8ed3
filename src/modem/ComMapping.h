#pragma once

#include <QString>

// COM port numbers to serial devices: COM n is the device behind the link "<dataDir>/portas/COMn"
// when that link exists (made by the operator, a udev rule or the modem simulator), otherwise
// /dev/ttyUSB{n-1}. The data folder is set once at start (tests set their own).
class ComMapping {
public:
    static void setDataDir(const QString& dir);
    static QString dataDir();

    // "<dataDir>/portas/COMn".
    static QString linkPath(int comNumber, const QString& dataDir);
    // The device for COM n under dataDir; empty for a number below 1.
    static QString devicePath(int comNumber, const QString& dataDir);
    static QString devicePath(int comNumber) { return devicePath(comNumber, dataDir()); }
};
