#pragma once

#include <QString>

// Portuguese texts for the numeric codes of "+CME ERROR:" (equipment/network, 3GPP TS 27.007)
// and "+CMS ERROR:" (message service, 3GPP TS 27.005) replies. Codes without a text give
// "Erro desconhecido!". Both are pure and safe from any thread.
QString GetCmeErrorText(int code);
QString GetCmsErrorText(int code);
