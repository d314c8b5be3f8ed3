#pragma once

#include <QString>

// The name this program goes by among the programs that share one store (--station NAME; the machine's
// host name by default). On the SQLite file there is one station, and its name is recorded all the same.
namespace Station {

// Longest name accepted (the stations table's key).
constexpr int kMaxName = 64;

// The name in use for this run: the one set at start-up, else the default.
QString current();
void setCurrent(const QString& name);

// The machine's host name, or "estacao" when it has none that fits a station name.
QString defaultName();

// "" when `name` is usable (1..64 characters, no control characters, not only blanks), else the
// Portuguese reason for the operator.
QString validate(const QString& name);

} // namespace Station
