#pragma once

#include <QList>
#include <QWidget>

#include "contacts/ContactSearch.h"

class TADO;
class DbGrid;
class GroupChooser;
class RecordNavigator;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// Page "Cadastro de Contatos": the contact editor with its navigator and bulk actions above, the
// filter group "FILTRO DE CONTATOS" and the contacts grid below.
class ContatosPage : public QWidget {
    Q_OBJECT
public:
    explicit ContatosPage(TADO* ado, QWidget* parent = nullptr);

    QList<QLineEdit*> searchBoxes() const { return m_boxes; }
    QComboBox* statusChoice() const { return m_status; }
    QCheckBox* groupCheck() const { return m_groupCheck; }
    GroupChooser* groupChooser() const { return m_groupFilter; }
    DbGrid* grid() const { return m_grid; }
    RecordNavigator* navigator() const { return m_navigator; }
    QPushButton* importButton() const { return m_import; }
    QPushButton* exportButton() const { return m_export; }
    // Room under the editor for the import/export panel.
    QVBoxLayout* transferArea() const { return m_transferArea; }

public Q_SLOTS:
    void LimparFiltroClick();
    void ApagarTodosClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeEditor();
    QWidget* makeFilter();
    void searchBoxChanged(int box, const QString& text);
    void groupCriterion();
    void clearBoxes();
    void report(bool ok);

    void showOptOutReason();

    TADO* m_ado;
    QLabel* m_optOutReason = nullptr;
    ContactSearch m_search;
    QList<QLineEdit*> m_boxes;
    QComboBox* m_status = nullptr;
    QCheckBox* m_groupCheck = nullptr;
    GroupChooser* m_groupFilter = nullptr;
    GroupChooser* m_groupField = nullptr;
    DbGrid* m_grid = nullptr;
    RecordNavigator* m_navigator = nullptr;
    QPushButton* m_import = nullptr;
    QPushButton* m_export = nullptr;
    QVBoxLayout* m_transferArea = nullptr;
};
