#pragma once

#include <QString>

// The operator's manual for connecting modems ("Manual_Configuração_Modem_VESTRAL_SMS.pdf"),
// written from the text compiled into the program into the data folder when it is missing.
namespace ModemManual {

QString fileName();
// The manual's path in `dir`, written there first when missing. Returns an empty string and
// sets *error when it cannot be written. Needs a QGuiApplication (fonts).
QString ensure(const QString& dir, QString* error = nullptr);

} // namespace ModemManual
