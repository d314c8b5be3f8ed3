#pragma once

#include <QString>

class ModemLog;
class SmsStation;

// The send log's lines that tell of a failure the operators of every station must see on the stations' list: the
// database out of reach, a port that did not open or was lost, a slot whose set-up failed, a send the modem
// refused or that could not be made, a result that could not be stored. The latest of them is the station's last
// error (StationRegistry::recordError), with the send log's own words.
namespace StationErrors {

// Whether `line` (a send log line as shown) tells of such a failure.
bool isFailure(const QString& line);

// Every line of both send logs (the modems' and the workers') goes through here; the failures are recorded.
void watch(ModemLog* modemLog, SmsStation* sms);

} // namespace StationErrors
