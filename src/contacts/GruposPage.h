#pragma once

#include <QWidget>

class TADO;
class DbGrid;
class RecordNavigator;

// Page "Cadastro de Grupos": the groups grid, the two fields of the current group and the
// groups navigator.
class GruposPage : public QWidget {
    Q_OBJECT
public:
    explicit GruposPage(TADO* ado, QWidget* parent = nullptr);

    DbGrid* grid() const { return m_grid; }
    RecordNavigator* navigator() const { return m_navigator; }

private:
    DbGrid* m_grid;
    RecordNavigator* m_navigator;
};
