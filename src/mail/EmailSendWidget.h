#pragma once

#include <QWidget>

class TADO;
class TDM;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace vestral::mail {
class EmailCampaign;
}

// The sending half of the page "Enviar EMAIL": the button "Enviar EMAIL", the status list, the progress bar
// and the operator's warning. The campaign (and its SMTP client) lives as long as this widget.
class EmailSendWidget : public QWidget {
    Q_OBJECT
public:
    static const QString kWarning;

    EmailSendWidget(TADO* ado, TDM* recipients, QWidget* parent = nullptr);

    vestral::mail::EmailCampaign* campaign() const { return m_campaign; }
    QPushButton* sendButton() const { return m_send; }
    QListWidget* statusList() const { return m_status; }
    QProgressBar* progressBar() const { return m_progress; }

public Q_SLOTS:
    // "Enviar EMAIL": runs the campaign over the recipient set; the button stays disabled meanwhile.
    void suiButton12Click();

private:
    void onProgress(int position, bool visible);

    TDM* m_recipients;
    vestral::mail::EmailCampaign* m_campaign;
    QPushButton* m_send;
    QListWidget* m_status;
    QProgressBar* m_progress;
    QLabel* m_warning;
};
