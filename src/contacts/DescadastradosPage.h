#pragma once

#include <QList>
#include <QWidget>
#include <functional>

#include "optout/SuppressionList.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class TADO;
class DescadastradosModel;

// "Descadastrados" (a sub-page of "Enviar SMS"): the opt-out list, searched as the operator types; paste
// several numbers or e-mails to add them with a note, import them from a file, remove the selected one
// (after a confirmation; the removal goes to the history) and export the list as .xlsx. The work is done by
// SuppressionList and DescadastroTransfer; this page only wires the controls to them.
class DescadastradosPage : public QWidget {
    Q_OBJECT
public:
    explicit DescadastradosPage(TADO* ado, QWidget* parent = nullptr);

    // Replaces the confirmation box (tests): returns whether the operator said yes.
    void setConfirm(std::function<bool(const QString&)> confirm) { m_confirm = std::move(confirm); }

    QLineEdit* searchBox() const { return m_search; }
    QPlainTextEdit* pasteBox() const { return m_paste; }
    QLineEdit* noteBox() const { return m_note; }
    QTableView* table() const { return m_table; }
    QLabel* statusLabel() const { return m_status; }

public Q_SLOTS:
    void reload();
    void IncluirClick();
    void RemoverClick();
    void ImportarClick();
    void ExportarClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeEditor();
    void say(const QString& text);

    TADO* m_ado;
    DescadastradosModel* m_model;
    QLineEdit* m_search;
    QTableView* m_table;
    QPlainTextEdit* m_paste;
    QLineEdit* m_note;
    QLabel* m_status;
    std::function<bool(const QString&)> m_confirm;
};
