#include "mail/EmailCampaign.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "campaign/TDM.h"
#include "history/HistoryWriter.h"
#include "optout/SuppressionList.h"
#include "store/Dataset.h"
#include "store/TADO.h"
#include "store/TimeText.h"

namespace vestral::mail {

const QString EmailCampaign::kConfigurando = QStringLiteral(" Configurando para envio da mensagem");
const QString EmailCampaign::kEnviada = QStringLiteral(" Mensagem enviada com sucesso");
const QString EmailCampaign::kNaoEnviada = QStringLiteral(" Mensagem não enviada. Avise o Suporte Técnico");
const QString EmailCampaign::kSemEmail = QStringLiteral(" sem E-mail para envio!");
const QString EmailCampaign::kNoRecipients = QStringLiteral("Não existe contatos para enviar a(s) mensagem(s)!");

QString EmailCampaign::connectFailureLine(const QString& host, quint16 port, const QString& reason) {
    return QStringLiteral("Não foi possível conectar a %1:%2 (%3)").arg(host).arg(port).arg(reason);
}

RecipientRows RecipientRows::fromTdm(TDM* tdm) {
    RecipientRows rows;
    rows.count = [tdm] { return tdm->isOpen() ? tdm->recordCount() : 0; };
    rows.fields = [tdm](int row) { return tdm->fieldsOf(row); };
    rows.moveTo = [tdm](int row) { tdm->moveTo(row); };
    return rows;
}

void waitProcessingEvents(int ms) {
    QCoreApplication::processEvents();
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

CampaignTiming CampaignTiming::system() {
    return {[] { return QDateTime::currentDateTime(); }, waitProcessingEvents};
}

EmailCampaign::EmailCampaign(TADO* ado, QObject* parent)
    : QObject(parent), m_ado(ado), m_client(new SmtpClient(this)), m_timing(CampaignTiming::system()) {
    m_history = [this](const QString& dest, const QString& text, bool sent) {
        return HistoryWriter::append(m_ado, dest, text, HistoryWriter::kEmail, sent);
    };
}

EmailCampaign::~EmailCampaign() = default;

QString EmailCampaign::formatStatus(const QDateTime& when, const QString& text) {
    return TimeText::stampShown(when) + text;
}

QString EmailCampaign::bodyCutLine(const QString& email) {
    return QStringLiteral(" (") + email +
           QStringLiteral(") E-mail maior que 1.000.000 caracteres! Ajustado automaticamente!");
}

QString EmailCampaign::destinatario(const QString& nome, const QString& email) {
    return QLatin1Char('(') + nome + QStringLiteral(") ") + email;
}

SmtpSettings EmailCampaign::smtpSettings(const Dataset* cfg) {
    SmtpSettings s;
    s.host = cfg->text("HOST");
    s.port = static_cast<quint16>(qBound(0, cfg->integer("PORTA"), 65535));
    s.username = cfg->text("USERNAME").trimmed();
    s.password = cfg->text("PASSWORD");
    s.heloName.clear(); // the machine's own name: servers that check the greeting refuse a free text
    s.useSsl = cfg->boolean("SSL");
    s.sslMethod = cfg->text("METHODSLL");
    s.tlsMode = cfg->text("TLS");
    return s;
}

EmailCampaign::Result EmailCampaign::run() {
    if (m_running)
        return {Outcome::Busy, {}};
    setRunning(true);
    Result result;
    m_suppressed = 0;
    if (!m_rows.count || m_rows.count() <= 0) {
        setProgress(0, false);
        result = {Outcome::NoRecipients, kNoRecipients};
    } else {
        QString error = reloadSettings();
        if (error.isEmpty())
            error = m_client->disconnectFromServer().text(); // a connection left open by the last run
        // The count is read again for every row: events handled during a wait may re-filter the set.
        for (int row = 0; error.isEmpty() && row < m_rows.count(); ++row)
            error = processRow(row);
        if (!error.isEmpty()) {
            result = {Outcome::Stopped, error};
            setProgress(0, false); // a stopped run leaves the bar as idle as a finished one
        }
    }
    setRunning(false);
    result.suppressed = m_suppressed;
    return result;
}

// The last saved settings apply: a pending edit is saved (nothing happens when it changed nothing), then
// the row is read again from the database.
QString EmailCampaign::reloadSettings() {
    Dataset* cfg = m_ado->dbCFG;
    if (cfg->state() == Dataset::State::Edit || cfg->state() == Dataset::State::Insert) {
        if (!cfg->post())
            return cfg->lastError();
    }
    if (!cfg->refresh())
        return cfg->lastError();
    m_smtp = smtpSettings(cfg);
    m_templates = {cfg->text("ASSUNTO"), cfg->text("BODY_EMAIL"), qMax(0, cfg->integer("TEMPO_EMAIL"))};
    m_footer = cfg->value("RODAPE_SAIR").isNull() || cfg->boolean("RODAPE_SAIR");
    QString error;
    if (!m_optOut.load(m_ado->database(), &error))
        return error;
    return {};
}

// One recipient row. Returns the text of a failure that stops the run, empty to go on.
QString EmailCampaign::processRow(int row) {
    if (m_rows.moveTo)
        m_rows.moveTo(row);
    addStatus(kConfigurando);
    setProgress(0, true);
    const Merge::FieldLookup fields = m_rows.fields(row);
    QString email;
    if (!fields(QStringLiteral("EMAIL"), &email))
        return Merge::missingFieldError(QStringLiteral("EMAIL"));
    email = email.trimmed(); // spreadsheets often leave blanks around an address
    if (email.isEmpty()) {
        setProgress(0, false);
        addStatus(kSemEmail);
        m_timing.wait(m_templates.pauseMs);
        return {};
    }
    if (optedOut(fields, email)) {
        setProgress(0, false);
        return {};
    }
    if (!m_client->connected()) {
        if (const QString error = connectClient(); !error.isEmpty())
            return error;
    }
    EmailMessage message;
    message.toAddress = email;
    if (const QString error = mergeMessage(fields, &message); !error.isEmpty())
        return error;
    const SmtpStatus sent = m_client->send(message);
    if (sent.stopsRun()) {
        // Like a failure before the send: no outcome for this recipient, and none tried after it.
        (void)m_client->disconnectFromServer();
        return sent.text();
    }
    if (sent)
        setProgress(kProgressMax, true);
    addStatus(sent ? kEnviada : kNaoEnviada);
    // The attempt is on record before the failed connection is dropped, so a failing QUIT cannot lose it.
    if (const QString error = record(message, sent.ok()); !error.isEmpty())
        return error;
    if (!sent) {
        Q_EMIT sendFailed(destinatario(message.toName, message.toAddress), sent.text());
        if (const QString error = m_client->disconnectFromServer().text(); !error.isEmpty())
            return error;
    }
    finishRow();
    return {};
}

// The recipient asked for no more messages (its e-mail, or its phone when the source has one, is on the
// opt-out list): its status line, no attempt, no history row.
bool EmailCampaign::optedOut(const Merge::FieldLookup& fields, const QString& email) {
    if (m_optOut.isEmpty())
        return false;
    QString phone;
    if (!m_optOut.containsEmail(email) &&
        !(fields(QStringLiteral("TELEFONE"), &phone) && m_optOut.containsPhone(phone)))
        return false;
    ++m_suppressed;
    addStatus(SuppressionList::skipLogLine(email));
    return true;
}

QString EmailCampaign::unsubscribeLink(const QString& sender) {
    const QString address = sender.trimmed();
    for (QChar c : address)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F || c == u'<' || c == u'>' || c == u'?' || c == u'"')
            return {};
    if (!address.contains(u'@'))
        return {};
    return QStringLiteral("mailto:") + address + QStringLiteral("?subject=SAIR");
}

QString EmailCampaign::withOptOutFooter(const QString& htmlBody, const QString& link) {
    const QString footer =
        QStringLiteral("<p style=\"font-size:12px;color:#666666\">Para não receber mais nossos e-mails, "
                       "<a href=\"%1\">clique aqui</a> ou responda com SAIR.</p>\n")
            .arg(link.toHtmlEscaped());
    const qsizetype end = htmlBody.lastIndexOf(QStringLiteral("</body"), -1, Qt::CaseInsensitive);
    if (end < 0)
        return htmlBody + QLatin1Char('\n') + footer;
    return htmlBody.left(end) + footer + htmlBody.mid(end);
}

QString EmailCampaign::connectClient() {
    if (const SmtpStatus configured = m_client->configure(m_smtp); !configured)
        return configured.text();
    const SmtpStatus connected = m_client->connectToServer();
    if (connected || connected.connectReason().isEmpty())
        return connected.text();
    return connected.text() + QStringLiteral("\r\n") +
           connectFailureLine(m_client->settings().host, m_client->settings().port, connected.connectReason());
}

// Sender, the one recipient, subject and body, with the progress steps 1 to 5.
QString EmailCampaign::mergeMessage(const Merge::FieldLookup& fields, EmailMessage* message) {
    if (!fields(QStringLiteral("NOME"), &message->toName))
        return Merge::missingFieldError(QStringLiteral("NOME"));
    message->fromAddress = m_smtp.username;
    message->fromName = QLatin1Char('[') + m_smtp.username + QLatin1Char(']');
    setProgress(1, true);
    QString error;
    if (!Merge::apply(m_templates.assunto, fields, &message->subject, &error))
        return error;
    setProgress(2, true);
    bool cut = false;
    if (!Merge::apply(m_templates.body, fields, &message->htmlBody, &error, Merge::kEmailBound, &cut))
        return error;
    if (cut)
        addStatus(bodyCutLine(message->toAddress));
    message->listUnsubscribe = unsubscribeLink(m_smtp.username);
    if (m_footer && !message->listUnsubscribe.isEmpty())
        message->htmlBody = withOptOutFooter(message->htmlBody, message->listUnsubscribe);
    setProgress(3, true);
    setProgress(4, true);
    setProgress(5, true);
    return {};
}

QString EmailCampaign::record(const EmailMessage& message, bool sent) {
    return m_history(destinatario(message.toName, message.toAddress), message.htmlBody, sent);
}

void EmailCampaign::finishRow() {
    setProgress(0, false);
    m_timing.wait(m_templates.pauseMs);
}

void EmailCampaign::addStatus(const QString& text) {
    Q_EMIT statusAdded(formatStatus(m_timing.now(), text));
}

void EmailCampaign::setProgress(int position, bool visible) {
    Q_EMIT progressChanged(position, visible);
}

void EmailCampaign::setRunning(bool running) {
    m_running = running;
    Q_EMIT runningChanged(running);
}

} // namespace vestral::mail
