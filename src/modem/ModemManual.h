#pragma once

#include <QString>

// The operator's manual for connecting modems ("Manual_Configuração_Modem_VESTRAL_SMS.pdf"),
// written from the text compiled into the program into the data folder when it is missing or
// does not read as a whole PDF (cut short by a full disk or a killed program).
namespace ModemManual {

QString fileName();
// The manual's path in `dir`, written there first (whole or not at all) when missing or damaged.
// Returns an empty string, sets *error and logs it when it cannot be written. Needs a
// QGuiApplication (fonts).
QString ensure(const QString& dir, QString* error = nullptr);

} // namespace ModemManual
