#include "contacts/GruposPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "store/TADO.h"
#include "widgets/DbFieldBinder.h"
#include "widgets/DbGrid.h"
#include "widgets/RecordNavigator.h"

GruposPage::GruposPage(TADO* ado, QWidget* parent)
    : QWidget(parent),
      m_grid(new DbGrid(ado->dbGRUPO, {{"ID_GRUPO", "ID Grupo", 80}, {"GRUPO", "Nome Grupo", 300}}, this)),
      m_navigator(new RecordNavigator(this)) {
    auto* v = new QVBoxLayout(this);
    auto* fields = new QGridLayout;
    auto* id = new QLineEdit(this);
    auto* name = new QLineEdit(this);
    id->setObjectName("ID_GRUPO");
    name->setObjectName("GRUPO");
    id->setMaximumWidth(120);
    fields->addWidget(new QLabel("ID Grupo", this), 0, 0);
    fields->addWidget(new QLabel("Nome do Grupo", this), 0, 1);
    fields->addWidget(id, 1, 0);
    fields->addWidget(name, 1, 1);
    v->addLayout(fields);
    m_navigator->setDataset(ado->dbGRUPO);
    m_navigator->setDeleteConfirmation("Apaga registro?");
    v->addWidget(m_navigator);
    v->addWidget(m_grid, 1);
    auto* binder = new DbFieldBinder(ado->dbGRUPO, this);
    binder->bind(id, "ID_GRUPO");
    binder->bind(name, "GRUPO");
}
