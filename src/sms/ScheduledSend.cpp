#include "sms/ScheduledSend.h"

#include "store/TADO.h"

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
    if (!q.exec(QStringLiteral("SELECT HORARIO FROM dbCFG")) || !q.next())
        return Tick::NoTime;
    const QTime horario = timeOf(q.value(0));
    if (!horario.isValid())
        return Tick::NoTime;
    const QTime now = m_clock().time();
    const Labels l = labels(horario, now);
    Q_EMIT labelsChanged(l.difference, l.countdown);
    if (!due(horario, now))
        return Tick::Waiting;
    if (outboxCount() == 0) {
        Q_EMIT emptyOutbox();
        return Tick::EmptyOutbox;
    }
    Q_EMIT sendDue();
    return Tick::Started;
}

int ScheduledSend::outboxCount() {
    QSqlQuery q(m_ado->database());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")) && q.next() ? q.value(0).toInt() : 0;
}
