#pragma once

#include <QString>
#include <QTextStream>

class TADO;

// `vestral-sms --send-email [--group NAME] [--status all|active|disabled] [--external]`: loads the
// recipient set (local contacts, or the external source with --external), applies the group/status filter
// as the page's "Filtrar" does, runs the e-mail campaign and prints its status lines.
namespace vestral::mail::EmailCampaignCommand {

struct Request {
    QString group = QStringLiteral("TODOS");
    int status = 0; // TDM::Status
    bool external = false;
    bool filterGiven = false; // --group or --status was given
};

// Returns the process exit code: 0 when the run ended (or found no recipient), 1 when a failure stopped it
// or the source could not be loaded.
int run(TADO* ado, const Request& request, QTextStream& out, QTextStream& err);

} // namespace vestral::mail::EmailCampaignCommand
