#include "store/SmsModeSettings.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString readError(const QString& why) {
    return QStringLiteral("Não foi possível ler o modo de envio de SMS: ") + why;
}

} // namespace

QString smsModeText(SmsMode mode) {
    return mode == SmsMode::Pdu ? QStringLiteral("PDU") : QStringLiteral("TEXTO");
}

SmsModeSettings readSmsMode(const QSqlDatabase& db, QString* error) {
    SmsModeSettings s;
    QString why;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT MODO_SMS, CONFIRMA_ENTREGA FROM dbCFG"))) {
        why = q.lastError().text();
    } else if (!q.next()) {
        why = q.lastError().isValid() ? q.lastError().text() : QStringLiteral("a tabela dbCFG não tem linha.");
    } else {
        const QString mode = q.value(0).toString();
        if (mode == QLatin1String("PDU"))
            s.mode = SmsMode::Pdu;
        else if (mode != QLatin1String("TEXTO"))
            why = QStringLiteral("MODO_SMS = \"%1\" (esperado \"TEXTO\" ou \"PDU\").").arg(mode);
        bool ok = false;
        const int confirm = q.value(1).toInt(&ok);
        if (why.isEmpty() && (!ok || q.value(1).isNull() || (confirm != 0 && confirm != 1)))
            why = QStringLiteral("CONFIRMA_ENTREGA = \"%1\" (esperado 0 ou 1).").arg(q.value(1).toString());
        s.confirmDelivery = confirm == 1;
    }
    q.finish();
    if (error)
        *error = why.isEmpty() ? QString() : readError(why);
    return s;
}

bool writeSmsMode(const QSqlDatabase& db, const SmsModeSettings& settings, QString* error) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE dbCFG SET MODO_SMS = ?, CONFIRMA_ENTREGA = ?"));
    q.addBindValue(smsModeText(settings.mode));
    q.addBindValue(settings.confirmDelivery ? 1 : 0);
    QString why;
    if (!q.exec())
        why = q.lastError().text();
    else if (q.numRowsAffected() < 1)
        why = QStringLiteral("a tabela dbCFG não tem linha.");
    if (why.isEmpty())
        return true;
    if (error)
        *error = QStringLiteral("Não foi possível gravar o modo de envio de SMS: ") + why;
    return false;
}
