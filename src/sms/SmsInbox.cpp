#include "sms/SmsInbox.h"

#include "modem/Aguarda.h"
#include "modem/SerialChannel.h"
#include "store/TADO.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

const char* const SmsInbox::kPortClosedWarning =
    "A porta deve estar aberta para que possa enviar comando!\rAbras as portas antes de continuar.";

namespace {

constexpr qsizetype kMaxListing = 4 * 1024 * 1024;

} // namespace

SmsInbox::SmsInbox(TADO* ado, InboxMode* mode, QObject* parent)
    : QObject(parent), m_ado(ado), m_mode(mode), m_wait([](int ms) { Aguarda(quint32(qMax(0, ms))); }) {
    m_limit.setSingleShot(true);
    m_limit.setInterval(15000);
    connect(&m_limit, &QTimer::timeout, this, &SmsInbox::timeLimitReached);
    setMode(mode);
}

void SmsInbox::setMode(InboxMode* mode) {
    if (m_mode && m_mode->reader == this && m_mode != mode) {
        m_mode->on = false;
        m_mode->reader = nullptr;
    }
    m_mode = mode;
    if (m_mode)
        m_mode->reader = this;
}

SmsInbox::Start SmsInbox::Button13Click() {
    if (!m_mode || !m_channel || !m_channel->isOpen())
        return Start::PortClosed;
    if (m_busy || (m_mode && m_mode->on))
        return Start::Busy;
    m_busy = true;
    try {
        write(QByteArrayLiteral("AT+CMGF=1\r\n"));
        m_wait(m_pauseMs);
        m_listing.clear();
        m_mode->slot = kSlot;
        m_mode->on = true;
        m_limit.start();
        write(QByteArrayLiteral("AT+CMGL=\"ALL\"\r\n"));
    } catch (const std::exception&) {
        switchOff();
        m_busy = false;
        return Start::PortClosed;
    }
    m_wait(m_pauseMs);
    return Start::Started;
}

void SmsInbox::write(const QByteArray& bytes) {
    if (!m_channel)
        throw std::runtime_error("sem canal");
    m_channel->WriteText(bytes);
}

void SmsInbox::inboxStep(InboxStep& step) {
    if (step.slot != kSlot || !m_mode || !m_mode->on)
        return;
    m_listing.append(step.c);
    if (step.c != '\n')
        return;
    step.responseLine.clear();
    const InboxListing::State state =
        m_listing.size() > kMaxListing ? InboxListing::State::Failed : InboxListing::state(m_listing);
    if (state != InboxListing::State::Incomplete)
        listingEnded(state);
}

void SmsInbox::listingEnded(InboxListing::State state) {
    switchOff();
    if (state == InboxListing::State::Complete)
        stage(InboxListing::parse(m_listing));
    m_listing.clear();
    // The transfer waits between deletions; it runs after this delivery has been handled.
    QTimer::singleShot(0, this, &SmsInbox::transfer);
}

void SmsInbox::stage(const QList<InboxRecord>& records) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("INSERT INTO dbSMS_BUFFER (CODIGO, FONE, DATA, SMS) VALUES (?, ?, ?, ?)"));
    for (const InboxRecord& r : records) {
        q.addBindValue(r.codigo.left(50));
        q.addBindValue(r.fone.left(50));
        q.addBindValue(r.data.left(50));
        q.addBindValue(r.sms);
        if (!q.exec())
            qWarning("dbSMS_BUFFER: %s", qPrintable(q.lastError().text()));
    }
}

void SmsInbox::transfer() {
    QSqlQuery q(m_ado->database());
    q.exec(QStringLiteral("SELECT rowid, CODIGO, FONE, DATA, SMS FROM dbSMS_BUFFER ORDER BY rowid"));
    QList<QPair<qint64, InboxRecord>> staged;
    while (q.next())
        staged.append({q.value(0).toLongLong(),
                       {q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4).toString()}});
    q.finish();
    if (!staged.isEmpty() && m_beep)
        m_beep();
    int stored = 0;
    for (const auto& [rowid, record] : staged) {
        if (!moveOne(rowid, record))
            break;
        ++stored;
        deleteOnModem(record.codigo);
        m_wait(m_pauseMs);
    }
    finish(stored, false);
}

// The message goes to dbSMS and leaves the staging table in one transaction, so it is neither
// lost nor stored twice by this reading.
bool SmsInbox::moveOne(qint64 rowid, const InboxRecord& r) {
    QSqlDatabase db = m_ado->database();
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO dbSMS (ID_SMS, DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) "
                             "VALUES (?, ?, ?, ?, ?, ?, 0)"));
    bool indexOk = false;
    const int index = r.codigo.toInt(&indexOk);
    const QDateTime received = InboxListing::receivedAt(r.data);
    q.addBindValue(indexOk ? index : 0);
    q.addBindValue(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    q.addBindValue(received.isValid() ? QVariant(received.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                      : QVariant(QMetaType(QMetaType::QString)));
    q.addBindValue(kSlot);
    q.addBindValue(r.fone);
    q.addBindValue(r.sms);
    bool ok = q.exec();
    if (ok) {
        q.prepare(QStringLiteral("DELETE FROM dbSMS_BUFFER WHERE rowid = ?"));
        q.addBindValue(rowid);
        ok = q.exec();
    }
    if (!ok) {
        qWarning("dbSMS: %s", qPrintable(q.lastError().text()));
        db.rollback();
        return false;
    }
    return db.commit();
}

// A message whose index could not be read cannot be deleted; it is listed again next time.
void SmsInbox::deleteOnModem(const QString& codigo) {
    bool ok = false;
    codigo.toInt(&ok);
    if (!ok)
        return;
    try {
        write("AT+CMGD=" + codigo.toLatin1() + "\r\n");
    } catch (const std::exception&) {
    }
}

void SmsInbox::timeLimitReached() {
    if (!m_mode || !m_mode->on)
        return;
    switchOff();
    m_listing.clear();
    finish(0, true);
}

void SmsInbox::switchOff() {
    m_limit.stop();
    if (m_mode) {
        m_mode->on = false;
        m_mode->slot = 0;
    }
}

void SmsInbox::finish(int stored, bool timedOut) {
    m_busy = false;
    if (m_ado->dbSMS && m_ado->dbSMS->isOpen())
        m_ado->dbSMS->refresh();
    Q_EMIT readingEnded(stored, timedOut);
}
