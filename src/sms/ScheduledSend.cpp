#include "sms/ScheduledSend.h"

#include "store/TADO.h"
#include "store/TimeText.h"

#include <QSqlError>
#include <QSqlQuery>

const char* const ScheduledSend::kEmptyOutboxWarning =
    "Não foi identificado nenhum mensagem para envio na Caixa de Saída.\rEnvio automático cancelado";
const char* const ScheduledSend::kInitialDifference = "---";
const char* const ScheduledSend::kInitialCountdown = "Falta 0h 0m 0s para o envio!";

namespace {

QTime whole(const QTime& t) {
    return QTime(t.hour(), t.minute(), t.second());
}

} // namespace

ScheduledSend::Labels ScheduledSend::labels(const QTime& horario, const QTime& now) {
    const int seconds = qAbs(whole(now).secsTo(whole(horario)));
    const QTime diff = QTime(0, 0).addSecs(seconds);
    Labels l;
    l.difference = diff.toString(QStringLiteral("HH:mm:ss"));
    l.countdown = QStringLiteral("Falta ") + diff.toString(QStringLiteral("HH")) + QStringLiteral("h ") +
                  diff.toString(QStringLiteral("mm")) + QStringLiteral("m ") + diff.toString(QStringLiteral("ss")) +
                  QStringLiteral("s para o envio!");
    return l;
}

bool ScheduledSend::due(const QTime& horario, const QTime& now) {
    return horario.isValid() && now.isValid() && whole(horario) == whole(now);
}

QTime ScheduledSend::timeOf(const QVariant& horario) {
    if (horario.userType() == QMetaType::QTime)
        return horario.toTime();
    if (horario.userType() == QMetaType::QDateTime)
        return horario.toDateTime().time();
    QString text = horario.toString().trimmed();
    const qsizetype blank = text.lastIndexOf(QLatin1Char(' '));
    const qsizetype tee = text.lastIndexOf(QLatin1Char('T'));
    if (qMax(blank, tee) >= 0)
        text = text.mid(qMax(blank, tee) + 1);
    for (const char* format : {"HH:mm:ss", "HH:mm:ss.zzz", "HH:mm", "H:mm:ss", "H:mm"}) {
        const QTime t = QTime::fromString(text, QString::fromLatin1(format));
        if (t.isValid())
            return t;
    }
    return {};
}

ScheduledSend::ScheduledSend(TADO* ado, QObject* parent)
    : QObject(parent), m_ado(ado), m_clock([] { return QDateTime::currentDateTime(); }) {}

ScheduledSend::Tick ScheduledSend::tAUTOTimer() {
    QSqlQuery q(m_ado->database());
    // No settings row means no time; a failed read is said, not taken for "no time".
    const bool read = q.exec(QStringLiteral("SELECT HORARIO FROM dbCFG"));
    const bool row = read && q.next();
    if (!read || (!row && q.lastError().isValid()))
        return failed(QStringLiteral("O HORÁRIO"), q.lastError().text());
    const QTime horario = row ? timeOf(q.value(0)) : QTime();
    q.finish();
    const QTime now = m_clock().time();
    if (!horario.isValid() || !due(horario, now))
        m_lastFailure.clear(); // the next failure is said again
    if (!horario.isValid())
        return Tick::NoTime;
    const Labels l = labels(horario, now);
    Q_EMIT labelsChanged(l.difference, l.countdown);
    if (!due(horario, now))
        return Tick::Waiting;
    QString error;
    const int count = outboxCount(&error);
    if (count < 0)
        return failed(QStringLiteral("A CAIXA DE SAÍDA"), error);
    m_lastFailure.clear();
    if (count == 0) {
        Q_EMIT emptyOutbox();
        return Tick::EmptyOutbox;
    }
    Q_EMIT sendDue();
    return Tick::Started;
}

int ScheduledSend::outboxCount(QString* error) {
    QSqlQuery q(m_ado->database());
    if (q.exec(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")) && q.next())
        return q.value(0).toInt();
    *error = q.lastError().text();
    return -1;
}

ScheduledSend::Tick ScheduledSend::failed(const QString& what, const QString& error) {
    const QString line = QStringLiteral(" ENVIO AUTOMÁTICO: FALHA AO LER ") + what + QStringLiteral("! ") + error;
    if (line != m_lastFailure) {
        m_lastFailure = line;
        Q_EMIT readFailed(TimeText::stampShown(m_clock()) + line);
    }
    return Tick::ReadFailed;
}
