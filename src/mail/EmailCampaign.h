#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>

#include "campaign/Merge.h"
#include "mail/SmtpClient.h"
#include "optout/SuppressionSet.h"

class Dataset;
class TADO;
class TDM;

namespace vestral::mail {

// The rows a run walks: the recipient set under its filter, first to last.
struct RecipientRows {
    std::function<int()> count;
    std::function<Merge::FieldLookup(int row)> fields;
    std::function<void(int row)> moveTo; // optional: the grid follows the run

    // The shared recipient set (local contacts or the external source) under the filter in force.
    static RecipientRows fromTdm(TDM* tdm);
};

// Appends one e-mail history row; returns an empty string when stored, else the database's error.
using HistorySink = std::function<QString(const QString& destinatario, const QString& mensagem, bool enviado)>;

// The clock of the status lines and the pause after each recipient.
struct CampaignTiming {
    std::function<QDateTime()> now;
    std::function<void(int ms)> wait;

    // Local time; the pause keeps the thread's events flowing (window repaints, serial events).
    static CampaignTiming system();
};

// Waits `ms` milliseconds while the thread's event loop runs, processing events at least once.
void waitProcessingEvents(int ms);

// The e-mail campaign: one HTML message per recipient row, merged from the subject and body templates of
// the settings row, through one SMTP client whose connection is reused until a send fails. Each attempt
// leaves one history row and a status line. Runs on the calling thread and blocks until the last row;
// the thread's events keep flowing while the client waits on the network and during the pauses.
class EmailCampaign : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Finished,     // every row was processed
        NoRecipients, // no row passes the filter: nothing sent, nothing logged
        Stopped,      // a failure outside the send step stopped the run; `error` holds its text
        Busy,         // a run is already going on: nothing done
    };
    struct Result {
        Outcome outcome = Outcome::Finished;
        QString error;
        int suppressed = 0; // recipients on the opt-out list, left out with their status line
    };

    static const QString kConfigurando;
    static const QString kEnviada;
    static const QString kNaoEnviada;
    static const QString kSemEmail;
    static const QString kNoRecipients; // the warning for an empty recipient set
    static constexpr int kProgressMax = 6;

    explicit EmailCampaign(TADO* ado, QObject* parent = nullptr);
    ~EmailCampaign() override;

    void setRecipients(RecipientRows rows) { m_rows = std::move(rows); }
    // Replaces the history writer (tests); by default rows go to the history result set as "E-Mail".
    void setHistorySink(HistorySink sink) { m_history = std::move(sink); }
    void setTiming(CampaignTiming timing) { m_timing = std::move(timing); }
    SmtpClient* client() const { return m_client; }
    bool isRunning() const { return m_running; }

    // One whole run. A call made while a run goes on (from an event handled during a wait) returns Busy.
    Result run();

    // The SMTP settings of the settings row as the campaign uses them.
    static SmtpSettings smtpSettings(const Dataset* cfg);
    // Date, blank, time, then the text (which begins with a blank).
    static QString formatStatus(const QDateTime& when, const QString& text);
    // "Não foi possível conectar a HOST:PORTA (reason)", the line under a connection failure's own text.
    static QString connectFailureLine(const QString& host, quint16 port, const QString& reason);
    // The status line of a body whose merge reached Merge::kEmailBound and was cut there.
    static QString bodyCutLine(const QString& email);
    // "(" + NOME + ") " + EMAIL
    static QString destinatario(const QString& nome, const QString& email);
    // "mailto:SENDER?subject=SAIR", the link of the List-Unsubscribe header and of the footer; empty when the
    // sender address cannot stand in a link.
    static QString unsubscribeLink(const QString& sender);
    // The body with the opt-out footer line before its closing </body> (at its end when it has none).
    static QString withOptOutFooter(const QString& htmlBody, const QString& link);

Q_SIGNALS:
    void statusAdded(const QString& line);
    // Position 0..kProgressMax; hidden except while a recipient is being processed.
    void progressChanged(int position, bool visible);
    void runningChanged(bool running);
    // A send failed (the recipient is logged as not sent): the server's or the connection's text, which the
    // window does not show; the command line prints it.
    void sendFailed(const QString& destinatario, const QString& reason);

private:
    struct Templates {
        QString assunto;
        QString body;
        int pauseMs = 0;
    };
    QString reloadSettings();
    QString processRow(int row);
    QString connectClient();
    QString mergeMessage(const Merge::FieldLookup& fields, EmailMessage* message);
    bool optedOut(const Merge::FieldLookup& fields, const QString& email);
    QString record(const EmailMessage& message, bool sent);
    void addStatus(const QString& text);
    void setProgress(int position, bool visible);
    void finishRow();
    void setRunning(bool running);

    TADO* m_ado;
    SmtpClient* m_client;
    RecipientRows m_rows;
    HistorySink m_history;
    CampaignTiming m_timing;
    SmtpSettings m_smtp;     // read from the settings row at the start of each run
    SuppressionSet m_optOut; // the opt-out list, read at the start of each run
    bool m_footer = true;    // RODAPE_SAIR
    int m_suppressed = 0;
    Templates m_templates;
    bool m_running = false;
};

} // namespace vestral::mail
