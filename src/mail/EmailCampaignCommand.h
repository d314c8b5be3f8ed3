#pragma once

#include <QStringList>
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
    QString error;            // a usage error
};

// Reads the words after "--send-email" in the program's argument list.
Request parse(const QStringList& arguments);
QString usage();

// Returns the process exit code: 0 when the run ended (or found no recipient), 1 when a failure stopped it
// or the source could not be loaded, 2 for a usage error.
int run(TADO* ado, const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace vestral::mail::EmailCampaignCommand
