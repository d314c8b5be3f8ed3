#pragma once

#include <QWidget>

#include <functional>

class ContactExport;
class ContactImport;
class ContatosPage;
class ImportPanelWidget;
class QLabel;
class QProgressBar;
class QPushButton;
class TADO;
class TransferStatus;

// The spreadsheet import and export of the contacts page. This widget is the status panel at the
// bottom of the page (status text, progress bar, "Parar Importação/Exportação"), hidden when idle;
// it also puts the import panel over the page and answers the page's buttons "Importar Contatos
// Excel" and "Exportar Contatos Excel".
class ContactTransferWidget : public QWidget {
    Q_OBJECT
public:
    // The questions and file dialogs the flows open; tests put their own answers.
    struct Dialogs {
        std::function<bool(const QString& question)> ask; // true for Yes
        std::function<QString()> chooseImportFile;        // empty when cancelled
        std::function<QString()> chooseExportFile;        // empty when cancelled
        std::function<void(const QString& text)> showError;
        std::function<void(const QString& text)> showWarning; // a file read anyway (bad bytes)
    };

    ContactTransferWidget(TADO* ado, ContatosPage* page);
    ~ContactTransferWidget() override;

    void setDialogs(const Dialogs& dialogs) { m_dialogs = dialogs; }
    TransferStatus* status() const { return m_status; }
    ContactImport* import() const { return m_import; }
    ImportPanelWidget* importPanel() const { return m_panel; }
    QLabel* statusLabel() const { return m_label; }
    QProgressBar* progressBar() const { return m_bar; }
    QPushButton* stopButton() const { return m_stop; }

    static const char* const ImportQuestion;
    static const char* const ExportQuestion;

public Q_SLOTS:
    void ImportarContatosClick(); // "Importar Contatos Excel"
    void suiButton6Click();       // "Exportar Contatos Excel"
    void BitBtn1Click();          // "Parar Importação/Exportação"
    void SalvarImportacaoClick();
    void CancelarImportacaoClick();

private:
    Dialogs defaultDialogs();
    QString askExportFile();
    void showPanel(bool visible);
    void bringWindowToFront();

    TADO* m_ado;
    TransferStatus* m_status;
    ContactImport* m_import;
    ImportPanelWidget* m_panel;
    QLabel* m_label = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_stop = nullptr;
    Dialogs m_dialogs;
    bool m_busy = false; // a transfer runs: the window keeps answering, but not a second one
};
