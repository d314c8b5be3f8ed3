#include "mail/EmailCampaignCommand.h"

#include "campaign/TDM.h"
#include "mail/EmailCampaign.h"
#include "optout/SuppressionList.h"
#include "store/TADO.h"

#include <QSqlError>
#include <QSqlQuery>

namespace vestral::mail::EmailCampaignCommand {
namespace {

// True when `name` is "TODOS" (every group) or the name of a stored group.
bool groupExists(TADO* ado, const QString& name, QString* error) {
    if (name == QLatin1String("TODOS"))
        return true;
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM dbGRUPO WHERE GRUPO = ?"));
    q.addBindValue(name);
    if (!q.exec() || !q.next()) {
        *error = q.lastError().text();
        return false;
    }
    return q.value(0).toInt() > 0;
}

// Prints every line with LF in place of the CR of message texts.
QString lines(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

int run(TADO* ado, const Request& request, QTextStream& out, QTextStream& err) {
    TDM recipients(ado);
    const TDM::Source source = request.external ? TDM::Integracao : TDM::CadastroLocal;
    QString error;
    if (!recipients.connectSource(source, &error)) {
        err << lines(TDM::connectionErrorText(error)) << Qt::endl;
        return 1;
    }
    if (!request.external && !request.group.isEmpty()) {
        QString lookup;
        if (!groupExists(ado, request.group, &lookup)) {
            err << (lookup.isEmpty() ? QStringLiteral("Grupo não encontrado: ") + request.group : lookup) << Qt::endl;
            return 1;
        }
    }
    if (request.external && request.filterGiven)
        err << "--group e --status valem apenas para o Cadastro Local; enviando a todos os registros da Integração"
            << Qt::endl;
    recipients.filter(request.group, request.status, source);

    EmailCampaign campaign(ado);
    campaign.setRecipients(RecipientRows::fromTdm(&recipients));
    QObject::connect(&campaign, &EmailCampaign::statusAdded, &campaign,
                     [&out](const QString& line) { out << line << Qt::endl; });
    QObject::connect(&campaign, &EmailCampaign::sendFailed, &campaign,
                     [&err](const QString& who, const QString& why) { err << who << ": " << lines(why) << Qt::endl; });
    const EmailCampaign::Result result = campaign.run();
    if (result.outcome == EmailCampaign::Outcome::NoRecipients) {
        out << result.error << Qt::endl;
        return 0;
    }
    if (result.outcome == EmailCampaign::Outcome::Stopped) {
        err << lines(result.error) << Qt::endl;
        return 1;
    }
    if (result.suppressed > 0)
        out << EmailCampaign::formatStatus(QDateTime::currentDateTime(),
                                           QLatin1Char(' ') + SuppressionList::skippedSummary(result.suppressed))
            << Qt::endl;
    // The connection stays open between runs of the window; a command closes it before the process ends.
    static_cast<void>(campaign.client()->disconnectFromServer());
    return 0;
}

} // namespace vestral::mail::EmailCampaignCommand
