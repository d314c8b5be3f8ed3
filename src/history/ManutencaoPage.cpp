#include "history/ManutencaoPage.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/TADO.h"

using Maintenance::Table;

ManutencaoPage::ManutencaoPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_labels{}, m_inicial(new QCalendarWidget(this)), m_final(new QCalendarWidget(this)),
      m_dialog(messageBoxDialog(this)) {
    setObjectName("Manutenção do Banco de Dados");
    for (QCalendarWidget* c : {m_inicial, m_final}) {
        c->setFirstDayOfWeek(Qt::Sunday);
        c->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    }
    for (Table t : {Table::History, Table::Contacts, Table::Outbox}) {
        m_labels[int(t)] = new QLabel(Maintenance::countText(t, 0), this);
        m_labels[int(t)]->setObjectName(QStringLiteral("lbTotal%1").arg(int(t)));
    }
    auto* v = new QVBoxLayout(this);
    v->addWidget(makeHistoryBox());
    auto* h = new QHBoxLayout;
    h->addWidget(makeSimpleBox("Contatos", Table::Contacts, &ManutencaoPage::Button10Click));
    h->addWidget(makeSimpleBox("Caixa de Saída", Table::Outbox, &ManutencaoPage::Button12Click));
    v->addLayout(h);
    v->addStretch(1);
}

QWidget* ManutencaoPage::makeHistoryBox() {
    auto* box = new QGroupBox("Histórico", this);
    auto* g = new QGridLayout(box);
    g->addWidget(m_labels[int(Table::History)], 0, 0, 1, 2);
    auto* all = new QPushButton("Limpar Todos os Registros", box);
    all->setObjectName("Button8");
    connect(all, &QPushButton::clicked, this, &ManutencaoPage::Button8Click);
    g->addWidget(all, 1, 0, 1, 2);
    g->addWidget(new QLabel("Período Inicial", box), 2, 0);
    g->addWidget(new QLabel("Período Final", box), 2, 1);
    g->addWidget(m_inicial, 3, 0);
    g->addWidget(m_final, 3, 1);
    auto* period = new QPushButton("Limpar Registros no Período", box);
    period->setObjectName("Button9");
    connect(period, &QPushButton::clicked, this, &ManutencaoPage::Button9Click);
    g->addWidget(period, 4, 0, 1, 2);
    return box;
}

QWidget* ManutencaoPage::makeSimpleBox(const QString& title, Table table, void (ManutencaoPage::*slot)()) {
    auto* box = new QGroupBox(title, this);
    auto* v = new QVBoxLayout(box);
    v->addWidget(m_labels[int(table)]);
    auto* b = new QPushButton("Limpar Todos os Registros", box);
    b->setObjectName(table == Table::Contacts ? "Button10" : "Button12");
    connect(b, &QPushButton::clicked, this, slot);
    v->addWidget(b);
    return box;
}

QLabel* ManutencaoPage::countLabel(Table table) const {
    return m_labels[int(table)];
}

void ManutencaoPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TabSheet81Show();
}

void ManutencaoPage::refreshCount(Table table) {
    QString error;
    const int n = Maintenance::count(m_ado, table, &error);
    if (n < 0) {
        m_dialog(QMessageBox::Critical, error, QMessageBox::Ok);
        return;
    }
    m_labels[int(table)]->setText(Maintenance::countText(table, n));
}

void ManutencaoPage::TabSheet81Show() {
    for (Table t : {Table::History, Table::Contacts, Table::Outbox})
        refreshCount(t);
}

bool ManutencaoPage::confirm(Table table) {
    return m_dialog(QMessageBox::Warning, Maintenance::confirmationText(table), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void ManutencaoPage::done(const QString& error, Table table) {
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty()) {
        m_dialog(QMessageBox::Critical, error, QMessageBox::Ok);
        return;
    }
    refreshCount(table);
}

void ManutencaoPage::Button8Click() {
    if (!confirm(Table::History))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    done(Maintenance::clearHistory(m_ado), Table::History);
}

void ManutencaoPage::Button9Click() {
    if (!confirm(Table::History))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    done(Maintenance::clearHistoryPeriod(m_ado, m_inicial->selectedDate(), m_final->selectedDate()), Table::History);
}

void ManutencaoPage::Button10Click() {
    if (!confirm(Table::Contacts))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    done(Maintenance::clearContacts(m_ado), Table::Contacts);
}

void ManutencaoPage::Button12Click() {
    if (!confirm(Table::Outbox))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    done(Maintenance::clearOutbox(m_ado), Table::Outbox);
}
