#include "sms/CaixaSaidaPage.h"

#include "history/Maintenance.h"
#include "sms/JournalReplay.h"
#include "sms/OutboxCommit.h"
#include "sms/ScheduledSend.h"
#include "sms/SendScreen.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"
#include "store/StatusSink.h"
#include "store/TADO.h"
#include "widgets/DbGrid.h"
#include "widgets/RowPainter.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QVBoxLayout>

const char* const CaixaSaidaPage::kDeleteHint =
    "Para apagar alguma mensagem marque e aperte silmultâneamente CTRL + DELETE no teclado!";
const char* const CaixaSaidaPage::kInterruptedHint =
    "Linhas em laranja: envio interrompido (o SMS pode ter sido entregue). Elas não são enviadas de novo; "
    "\"Reenviar Interrompidas\" as envia no próximo envio.";

QColor CaixaSaidaPage::interruptedColor() {
    return QColor(0xff, 0xc0, 0x70);
}

namespace {

// The shared painter, with the rows of interrupted sends (ENVIANDO set) in a colour of their own.
class InFlightPainter : public RowPainter {
public:
    InFlightPainter(Dataset* dataset, QObject* parent) : RowPainter(parent), m_dataset(dataset) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int column = m_dataset->fieldIndex("ENVIANDO");
        const bool selected = option.state & QStyle::State_Selected;
        if (column < 0 || selected || m_dataset->valueAt(index.row(), column).isNull()) {
            RowPainter::paint(painter, option, index);
            return;
        }
        painter->save();
        painter->fillRect(option.rect, CaixaSaidaPage::interruptedColor());
        const QRect text = option.rect.adjusted(2, 0, -2, -2);
        painter->setClipRect(option.rect);
        painter->drawText(text, int(Qt::AlignLeft | Qt::AlignVCenter),
                          displayText(index.data(Qt::DisplayRole), option.locale).section('\n', 0, 0));
        painter->restore();
    }

private:
    Dataset* m_dataset;
};

QList<DatasetModel::Column> outboxColumns() {
    return {{"ID", "ID", 80, false, Qt::AlignCenter},
            {"FONE", "Telefone", 80},
            {"MENSAGEM", "Mensagem", 600},
            {"PORTA", "Entrada", 80}};
}

} // namespace

CaixaSaidaPage::CaixaSaidaPage(TADO* ado, SmsStation* station, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_station(station), m_sender(station ? station->sender() : nullptr),
      m_grid(new DbGrid(ado->dbMENSAGEM, outboxColumns(), this)), m_log(new QListWidget(this)) {
    m_dialog = [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, QApplication::applicationName(), QString(text).replace('\r', '\n'), buttons, this);
        return QMessageBox::StandardButton(box.exec());
    };
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->installEventFilter(this);
    m_grid->setItemDelegate(new InFlightPainter(ado->dbMENSAGEM, m_grid));
    auto* hint = new QLabel(QString::fromUtf8(kDeleteHint), this);
    hint->setStyleSheet("color: red; font-weight: bold;");
    auto* interrupted = new QLabel(QString::fromUtf8(kInterruptedHint), this);
    interrupted->setObjectName("interruptedHint");
    interrupted->setWordWrap(true);
    interrupted->setStyleSheet(QStringLiteral("background: %1;").arg(interruptedColor().name()));
    auto* status = new QGroupBox("Status", this);
    auto* statusLayout = new QVBoxLayout(status);
    m_log->setObjectName("sendLog");
    statusLayout->addWidget(m_log);

    auto* v = new QVBoxLayout(this);
    v->addWidget(hint);
    v->addWidget(interrupted);
    v->addWidget(m_grid, 3);
    v->addWidget(makeButtons());
    v->addWidget(status, 2);
    if (!m_station)
        return;
    connect(m_station, &SmsStation::sendLogLine, this, &CaixaSaidaPage::appendLog);
    connect(m_station, &SmsStation::warning, this,
            [this](const QString& text) { m_dialog(QMessageBox::Warning, text, QMessageBox::Ok); });
    // The scheduled send does what the operator would do here.
    connect(m_station->schedule(), &ScheduledSend::sendDue, this, [this] {
        m_ado->dbMENSAGEM->refresh();
        markAll();
        btEnvioSMSClick();
    });
}

QWidget* CaixaSaidaPage::makeButtons() {
    auto* row = new QWidget(this);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    auto add = [&](const char* caption, void (CaixaSaidaPage::*slot)()) {
        auto* b = new QPushButton(QString::fromUtf8(caption), row);
        b->setObjectName(QString::fromUtf8(caption));
        connect(b, &QPushButton::clicked, this, slot);
        h->addWidget(b);
        return b;
    };
    add("Enviar SMS p/ Destinatários", &CaixaSaidaPage::btEnvioSMSClick);
    add("Marcar Todos", &CaixaSaidaPage::markAll);
    add("Desmarcar Todos", &CaixaSaidaPage::unmarkAll);
    add("Marcar Daqui!", &CaixaSaidaPage::markFromHere);
    add("Reenviar Interrompidas", &CaixaSaidaPage::reenviarInterrompidas);
    h->addStretch();
    add("Apagar Todas as Mensagens", &CaixaSaidaPage::apagarTodas)->setStyleSheet("color: red;");
    return row;
}

void CaixaSaidaPage::appendLog(const QString& line, bool showLast) {
    m_log->addItem(line);
    if (showLast)
        m_log->setCurrentRow(m_log->count() - 1);
}

void CaixaSaidaPage::btEnvioSMSClick() {
    if (m_sender)
        m_sender->startSend();
}

void CaixaSaidaPage::markAll() {
    m_grid->selectAll();
}

void CaixaSaidaPage::unmarkAll() {
    m_grid->clearSelection();
}

void CaixaSaidaPage::markFromHere() {
    const int from = qMax(0, m_grid->currentIndex().row());
    const int rows = m_grid->model()->rowCount();
    if (rows == 0)
        return;
    const QItemSelection range(m_grid->model()->index(from, 0),
                               m_grid->model()->index(rows - 1, m_grid->model()->columnCount() - 1));
    m_grid->selectionModel()->select(range, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<qint64> CaixaSaidaPage::markedIds() const {
    QList<qint64> ids;
    Dataset* outbox = m_ado->dbMENSAGEM;
    const int idColumn = outbox->fieldIndex("ID");
    for (int row : m_grid->selectedRowNumbers())
        ids.append(outbox->valueAt(row, idColumn).toLongLong());
    return ids;
}

QString CaixaSaidaPage::deleteQuestion(int marked) {
    return QStringLiteral("Apagar %1 mensagens marcadas?").arg(marked);
}

void CaixaSaidaPage::deleteMarked() {
    const QList<qint64> ids = markedIds();
    if (ids.isEmpty())
        return;
    if (m_dialog(QMessageBox::Question, deleteQuestion(ids.size()), QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    QSqlQuery q(m_ado->database());
    q.prepare("DELETE FROM dbMENSAGEM WHERE ID = ?");
    for (qint64 id : ids) {
        q.bindValue(0, id);
        if (!q.exec()) {
            m_dialog(QMessageBox::Critical, q.lastError().text(), QMessageBox::Ok);
            break;
        }
    }
    outboxChanged();
}

void CaixaSaidaPage::apagarTodas() {
    using Maintenance::Table;
    if (m_dialog(QMessageBox::Warning, Maintenance::confirmationText(Table::Outbox),
                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString error = Maintenance::clearOutbox(m_ado);
    if (!error.isEmpty())
        m_dialog(QMessageBox::Critical, error, QMessageBox::Ok);
    outboxChanged();
}

void CaixaSaidaPage::reenviarInterrompidas() {
    if (m_sender && m_sender->running()) {
        m_dialog(QMessageBox::Warning,
                 QStringLiteral("Aguarde o fim do envio para reenviar as mensagens interrompidas."), QMessageBox::Ok);
        return;
    }
    QString error;
    const auto log = [this](const QString& line) { m_station->screen()->appendSendLog(line); };
    if (!JournalReplay::settleBeforeResend(m_ado, m_ado->dataDir(), log, &error) ||
        OutboxCommit::clearInFlight(m_ado, &error) < 0)
        m_dialog(QMessageBox::Critical, error, QMessageBox::Ok);
    outboxChanged();
}

void CaixaSaidaPage::outboxChanged() {
    m_ado->dbMENSAGEM->refresh();
    StatusSink::instance()->setPanel(StatusSink::Outbox, SendScreen::outboxPanelText(m_ado->dbMENSAGEM->recordCount()));
}

void CaixaSaidaPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_ado->dbMENSAGEM->refresh();
}

bool CaixaSaidaPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            deleteMarked();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
