#include "contacts/ImportPanelWidget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "contacts/ContactImport.h"
#include "contacts/GroupChooser.h"
#include "contacts/ImportPreviewModel.h"
#include "store/TADO.h"

ImportPanelWidget::ImportPanelWidget(TADO* ado, ImportPreviewModel* preview, QWidget* page)
    : QWidget(page), m_ado(ado), m_preview(preview) {
    setObjectName("importPanel");
    setAutoFillBackground(true);
    auto* v = new QVBoxLayout(this);
    m_list = new QTableView(this);
    m_list->setModel(preview);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setDefaultSectionSize(110);
    m_list->setColumnWidth(0, 50);
    m_list->setColumnWidth(1, 200);
    v->addWidget(m_list, 1);

    auto* h = new QHBoxLayout;
    h->addWidget(new QLabel("Selecione o Grupo de Contatos para Importação:===>", this));
    m_groups = new GroupChooser(ado->dbGRUPO, this);
    m_groups->setMinimumWidth(220);
    h->addWidget(m_groups);
    m_save = new QPushButton("Salvar Importação", this);
    m_cancel = new QPushButton("Cancelar Importação", this);
    h->addWidget(m_save);
    h->addWidget(m_cancel);
    h->addStretch();
    v->addLayout(h);
    connect(m_groups, &QComboBox::activated, this, &ImportPanelWidget::groupChosen);

    page->installEventFilter(this);
    hide();
}

void ImportPanelWidget::groupChosen(int index) {
    const QVariant id = m_groups->itemData(index);
    if (id.isValid() && m_ado->dbGRUPO->isOpen())
        m_ado->dbGRUPO->locate("ID_GRUPO", id);
}

void ImportPanelWidget::showOverPage() {
    m_groups->refill();
    m_groups->setCurrentIndex(m_groups->findData(ContactImport::currentGroup(m_ado->dbGRUPO)));
    setGeometry(parentWidget()->rect());
    raise();
    show();
}

void ImportPanelWidget::showRow(int indice) {
    const auto& rows = m_preview->rows();
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].indice == indice) {
            m_list->selectRow(i);
            m_list->scrollTo(m_preview->index(i, 0));
            return;
        }
    }
}

bool ImportPanelWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
