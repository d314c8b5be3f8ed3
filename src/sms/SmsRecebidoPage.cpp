#include "sms/SmsRecebidoPage.h"

#include "optout/InboxOptOut.h"
#include "store/TADO.h"
#include "store/TimeText.h"
#include "widgets/DbGrid.h"
#include "widgets/RecordNavigator.h"
#include "widgets/RowPainter.h"

#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// The shared painter, with the text of unread messages in red bold, where a read message's text goes. A
// message that mentions an opt-out word inside a sentence (the sender may want to leave, but the list was not
// changed) is drawn in dark orange, bold while unread; one whose sender left the list, in grey.
class UnreadPainter : public RowPainter {
public:
    UnreadPainter(Dataset* dataset, QObject* parent) : RowPainter(parent), m_dataset(dataset) {}

    static inline const QColor kMention = QColor(200, 90, 0);
    static inline const QColor kOptedOut = QColor(128, 128, 128);

protected:
    void styleText(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        const int lido = m_dataset->fieldIndex("LIDO");
        const int mark = m_dataset->fieldIndex("DESCADASTRO");
        const bool unread = lido >= 0 && !m_dataset->valueAt(index.row(), lido).toBool();
        const int judged = mark < 0 ? InboxOptOut::kNone : m_dataset->valueAt(index.row(), mark).toInt();
        if (unread)
            option->font.setBold(true);
        if (judged == InboxOptOut::kMention)
            option->palette.setColor(QPalette::Text, kMention);
        else if (judged == InboxOptOut::kOptOut)
            option->palette.setColor(QPalette::Text, kOptedOut);
        else if (unread)
            option->palette.setColor(QPalette::Text, Qt::red);
    }

private:
    Dataset* m_dataset;
};

QList<DatasetModel::Column> smsColumns() {
    return {{"ID", "ID", 40},           {"DATA", "Data", 110}, {"ENTRADA", "Entrada", 50},
            {"FONE", "Remetente", 110}, {"SMS", "SMS", 200},   {"LIDO", "Lido", 30, true}};
}

QLineEdit* readOnly(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    return e;
}

} // namespace

SmsRecebidoPage::SmsRecebidoPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_grid(new DbGrid(ado->dbSMS, smsColumns(), this)),
      m_navigator(new RecordNavigator(this)), m_id(readOnly(this)), m_recebido(readOnly(this)),
      m_entrada(readOnly(this)), m_fone(readOnly(this)), m_sms(new QPlainTextEdit(this)) {
    m_grid->setItemDelegate(new UnreadPainter(ado->dbSMS, m_grid));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_navigator->setDataset(ado->dbSMS);
    using B = RecordNavigator;
    m_navigator->setVisibleButtons({B::First, B::Prior, B::Next, B::Last, B::Delete, B::Post, B::Refresh});
    m_sms->setReadOnly(true);

    auto* h = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(m_grid, 1);
    left->addWidget(m_navigator);
    h->addLayout(left, 3);
    h->addWidget(makeDetail(), 2);

    connect(m_grid, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) { markRead(index.row()); });
    connect(ado->dbSMS, &Dataset::afterScroll, this, &SmsRecebidoPage::showCurrent);
    connect(ado->dbSMS, &Dataset::rowsReset, this, &SmsRecebidoPage::showCurrent);
}

QWidget* SmsRecebidoPage::makeDetail() {
    auto* detail = new QWidget(this);
    auto* form = new QFormLayout(detail);
    form->addRow("ID SMS", m_id);
    form->addRow("Data da Mensagem", m_recebido);
    form->addRow("Entrada", m_entrada);
    form->addRow("Remetente", m_fone);
    form->addRow(m_sms);
    return detail;
}

void SmsRecebidoPage::markRead(int row) {
    Dataset* sms = m_ado->dbSMS;
    if (row < 0 || row >= sms->recordCount())
        return;
    if (sms->recNo() != row)
        sms->moveTo(row);
    if (sms->boolean("LIDO"))
        return;
    sms->edit();
    sms->setValue("LIDO", 1);
    if (!sms->post())
        sms->cancel();
    m_grid->viewport()->update();
}

void SmsRecebidoPage::showCurrent() {
    Dataset* sms = m_ado->dbSMS;
    const bool any = sms->isOpen() && !sms->isEmpty();
    m_id->setText(any ? sms->text("ID") : QString());
    const QDateTime received = any ? sms->value("RECEBIDO").toDateTime() : QDateTime();
    m_recebido->setText(received.isValid() ? TimeText::stampShown(received) : QString());
    m_entrada->setText(any ? sms->text("ENTRADA") : QString());
    m_fone->setText(any ? sms->text("FONE") : QString());
    m_sms->setPlainText(any ? sms->text("SMS") : QString());
}

void SmsRecebidoPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Messages stored before (by an older version, or while the pass was refused) are judged now.
    if (InboxOptOut::judgePending(m_ado).confirmations > 0 && m_ado->dbMENSAGEM && m_ado->dbMENSAGEM->isOpen())
        m_ado->dbMENSAGEM->refresh();
    m_ado->dbSMS->refresh();
    showCurrent();
}
