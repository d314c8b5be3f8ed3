#pragma once

#include <QWidget>

class TADO;
class DbFieldBinder;
class EmailPreviewView;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// Sub-page "Configurar E-mail": the HTML body template and the subject of the e-mail campaign, bound to the
// settings row, with the placeholder help and the rendered preview of the body editor's current text.
class ConfigEmailPage : public QWidget {
    Q_OBJECT
public:
    static const QString kHelpText;

    explicit ConfigEmailPage(TADO* ado, QWidget* parent = nullptr);

    QPlainTextEdit* bodyEditor() const { return m_body; }
    QLineEdit* subjectEditor() const { return m_subject; }
    QLabel* helpLabel() const { return m_help; }
    EmailPreviewView* preview() const { return m_preview; }

public Q_SLOTS:
    // The page is shown, or the settings were saved from any settings page: the preview follows the editor.
    void TabSheet11Show();
    // "Salvar" of the settings navigator. A preview never shown yet is left for the page's first showing.
    void DBNavigator1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeEditorHalf();

    DbFieldBinder* m_binder;
    QPlainTextEdit* m_body = nullptr;
    QLineEdit* m_subject = nullptr;
    QLabel* m_help = nullptr;
    EmailPreviewView* m_preview = nullptr;
};
