#include "campaign/BuildOutboxCommand.h"

#include <QSqlError>
#include <QSqlQuery>

#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "optout/SuppressionList.h"
#include "store/TADO.h"

namespace BuildOutboxCommand {
namespace {

// The group named exactly `name` ("TODOS" stands for every group, as in the page's list).
bool groupExists(TADO* ado, const QString& name, QString* error) {
    if (name == QLatin1String("TODOS"))
        return true;
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("SELECT 1 FROM dbGRUPO WHERE GRUPO = ?"));
    q.addBindValue(name);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    if (q.next())
        return true;
    *error = q.lastError().isValid() ? q.lastError().text() : QStringLiteral("Grupo não encontrado: %1").arg(name);
    return false;
}

QString lines(const char* text) {
    return QString::fromUtf8(text).replace('\r', '\n');
}

} // namespace

int run(TADO* ado, const Ports& ports, const Request& o, QTextStream& out, QTextStream& err) {
    QString error;
    // Checked before the ports are opened: a mistyped group must not probe every modem first.
    if (!groupExists(ado, o.group, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    if (!ports.openAll || !ports.openAll()) {
        err << lines(OutboxBuilder::kNoPortsWarning) << Qt::endl;
        return 2;
    }
    TDM recipients(ado);
    if (!recipients.connectSource(TDM::CadastroLocal, &error)) {
        err << TDM::connectionErrorText(error).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    recipients.filter(o.group, o.status, TDM::CadastroLocal);
    out << QStringLiteral("Contatos para envio: %1").arg(recipients.recordCount()) << Qt::endl;
    recipients.markAll();
    OutboxBuilder builder(ado);
    builder.setVerificaPortas(ports.verificaPortas ? ports.verificaPortas : [] { return false; });
    builder.setLog([&out](const QString& line) { out << line << Qt::endl; });
    const OutboxBuilder::Result r = builder.run(&recipients);
    switch (r.outcome) {
    case OutboxBuilder::Outcome::Done:
        out << SuppressionList::skippedSummary(r.suppressed) << Qt::endl;
        out << QStringLiteral("SMS para envio: %1").arg(ado->dbMENSAGEM->recordCount()) << Qt::endl;
        return 0;
    case OutboxBuilder::Outcome::NoMarks:
        err << lines(OutboxBuilder::kNoMarksWarning) << Qt::endl;
        return 0;
    case OutboxBuilder::Outcome::NoPorts:
        err << lines(OutboxBuilder::kNoPortsWarning) << Qt::endl;
        return 2;
    case OutboxBuilder::Outcome::Stopped:
        err << lines(OutboxBuilder::kStoppedWarning) << Qt::endl;
        return 2;
    case OutboxBuilder::Outcome::Failed:
    case OutboxBuilder::Outcome::Cancelled:
        break;
    }
    err << r.error << Qt::endl;
    return 1;
}

} // namespace BuildOutboxCommand
