#pragma once

#include <QWidget>

#include "campaign/TDM.h"

class QComboBox;
class QLabel;
class QRadioButton;
class QTableView;
class RecipientModel;

// The recipient half of a send page: across the top the connect button, the connection
// indicator, the source choice and the local group/status filter; below, the recipient grid with
// its hint. "Enviar SMS" and "Enviar EMAIL" each have one, over the same recipient set.
class RecipientPanel : public QWidget {
    Q_OBJECT
public:
    RecipientPanel(TDM* recipients, TADO* ado, bool marks, QWidget* parent = nullptr);

    TDM* recipients() const { return m_tdm; }
    TDM::Source chosenSource() const;
    QComboBox* groupChoice() const { return m_group; }
    QComboBox* statusChoice() const { return m_status; }
    QTableView* grid() const { return m_grid; }
    QLabel* indicator() const { return m_indicator; }
    QRadioButton* sourceButton(TDM::Source source) const;

public Q_SLOTS:
    void connectSource(); // "Conectar Banco de Dados " and choosing a source
    void applyFilter();   // "Filtrar", the status choice and the group drop-down
    void fillGroups();    // when the page is shown
    void refreshIndicator();

private:
    QWidget* makeTop();
    void wireMarks();
    void marksFromGrid();
    void marksToGrid();
    void currentToGrid(int row);

    TDM* m_tdm;
    TADO* m_ado;
    RecipientModel* m_model;
    QTableView* m_grid;
    QLabel* m_indicator = nullptr;
    QRadioButton* m_local = nullptr;
    QRadioButton* m_external = nullptr;
    QComboBox* m_group = nullptr;
    QComboBox* m_status = nullptr;
    bool m_syncing = false;
};
