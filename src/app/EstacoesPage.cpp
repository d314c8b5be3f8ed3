#include "app/EstacoesPage.h"

#include "store/StationList.h"
#include "store/TADO.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

EstacoesPage::EstacoesPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_grid(new QTableWidget(this)), m_status(new QLabel(this)) {
    setObjectName(QStringLiteral("Estações"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    auto* title = new QLabel(QStringLiteral("Estações que usam este banco de dados"), this);
    QFont f = title->font();
    f.setBold(true);
    title->setFont(f);
    v->addWidget(title);
    const QStringList headers{QStringLiteral("Estação"),       QStringLiteral("Máquina"),
                              QStringLiteral("Versão"),        QStringLiteral("PID"),
                              QStringLiteral("Batida há (s)"), QStringLiteral("Entradas prontas"),
                              QStringLiteral("Em envio"),      QStringLiteral("Enviadas na última hora"),
                              QStringLiteral("Último erro")};
    m_grid->setColumnCount(int(headers.size()));
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    v->addWidget(m_grid, 1);
    v->addWidget(m_status);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &EstacoesPage::refresh);
}

void EstacoesPage::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
    m_timer.start();
}

void EstacoesPage::hideEvent(QHideEvent* e) {
    m_timer.stop();
    QWidget::hideEvent(e);
}

void EstacoesPage::refresh() {
    QList<StationList::Row> rows;
    QString error;
    if (!StationList::read(m_ado->database(), &rows, &error)) {
        m_status->setText(QStringLiteral("A tabela de estações não pôde ser lida: %1").arg(error));
        return; // the last figures stay
    }
    int silent = 0;
    m_grid->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const StationList::Row& s = rows.at(r);
        const QStringList cells{StationList::printable(s.name),
                                StationList::printable(s.host),
                                StationList::printable(s.version),
                                QString::number(s.pid),
                                s.silentSeconds < 0 ? QStringLiteral("-") : QString::number(s.silentSeconds),
                                QString::number(s.ready),
                                QString::number(s.sending),
                                QString::number(s.sentLastHour),
                                StationList::printable(s.error)};
        silent += s.silent() ? 1 : 0;
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells.at(c));
            if (c >= 3 && c <= 7)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (s.silent()) {
                item->setForeground(Qt::white);
                item->setBackground(QColor(0xC0, 0x20, 0x20));
                if (c == 4)
                    item->setText(cells.at(c) + QStringLiteral(" (SEM SINAL)"));
            }
            m_grid->setItem(r, c, item);
        }
    }
    m_grid->resizeColumnsToContents();
    m_status->setText(silent == 0 ? QStringLiteral("%1 estação(ões)").arg(rows.size())
                                  : QStringLiteral("%1 estação(ões), %2 sem sinal").arg(rows.size()).arg(silent));
}
