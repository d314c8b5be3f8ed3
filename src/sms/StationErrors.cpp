#include "sms/StationErrors.h"

#include "modem/ModemLog.h"
#include "sms/SmsStation.h"
#include "store/StationRegistry.h"

#include <QObject>

namespace {

// Words of the failure lines, as the send log writes them.

const QStringList& failureWords() {
    static const QStringList words{
        // the store
        QStringLiteral("Banco de dados indisponível"),
        QStringLiteral("Conexão com o banco de dados perdida"),
        QStringLiteral("ERRO AO GRAVAR O HISTÓRICO"),
        QStringLiteral("ERRO AO MARCAR O ENVIO"),
        QStringLiteral(" FALHA AO "),
        // ports
        QStringLiteral("Não foi possível abrir a porta"),
        QStringLiteral("Sem permissão para abrir a porta"),
        QStringLiteral("FALHA NA PORTA"),
        QStringLiteral("DESCONECTADA"),
        QStringLiteral("NÃO VOLTOU EM"),
        QStringLiteral("NÃO FICOU PRONTA EM"),
        QStringLiteral("MODEM NÃO RESPONDEU AO AT"),
        QStringLiteral("MODEM NÃO ACEITA O MODO PDU"),
        // a slot's set-up
        QStringLiteral("OCUPADA: CONFIGURAÇÃO NÃO FEITA"),
        QStringLiteral("SIM OCUPADO"),
        QStringLiteral("PIN INCORRETO"),
        QStringLiteral("SIM PEDE PIN"),
        QStringLiteral("SIM BLOQUEADO"),
        QStringLiteral("SEM SIM"),
        QStringLiteral("SEM CENTRO DE MENSAGENS"),
        QStringLiteral("SEM SINAL"),
        QStringLiteral("REGISTRO NA REDE NEGADO"),
        QStringLiteral("SEM REDE APÓS"),
        // sends
        QStringLiteral(" MENSAGEM NÃO ENVIADA "),
        QStringLiteral(" FALHA NO ENVIO DO SMS"),
        QStringLiteral(" FALHA NA PARTE "),
    };
    return words;
}

} // namespace

namespace StationErrors {

bool isFailure(const QString& line) {
    // A notice that a slot is tried again says no new failure: the one said before it stays the last error.
    if (line.contains(QStringLiteral("NOVA TENTATIVA")))
        return false;
    // The second line of a worker's failure carries the reason ("ERRO:" and the store's or the driver's words).
    if (line.startsWith(QStringLiteral("ERRO:")))
        return true;
    for (const QString& word : failureWords())
        if (line.contains(word))
            return true;
    return false;
}

void watch(ModemLog* modemLog, SmsStation* sms) {
    const auto record = [](const QString& line) {
        if (isFailure(line))
            StationRegistry::recordError(line);
    };
    QObject::connect(modemLog, &ModemLog::lineAppended, modemLog,
                     [record](const QString& line, bool) { record(line); });
    QObject::connect(sms, &SmsStation::sendLogLine, sms, [record](const QString& line, bool) { record(line); });
}

} // namespace StationErrors
