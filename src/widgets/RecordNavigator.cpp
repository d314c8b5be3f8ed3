#include "widgets/RecordNavigator.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QStyle>

#include "store/Dataset.h"

const std::array<const char*, RecordNavigator::ButtonCount>& RecordNavigator::captions() {
    static const std::array<const char*, ButtonCount> c{"Primeiro", "Anterior", "Próximo", "Último",   "Novo",
                                                        "Excluir",  "Editar",   "Salvar",  "Cancelar", "Atualizar"};
    return c;
}

namespace {
QIcon iconFor(RecordNavigator::Button b) {
    static const QStyle::StandardPixmap pix[] = {
        QStyle::SP_MediaSkipBackward,      QStyle::SP_MediaSeekBackward, QStyle::SP_MediaSeekForward,
        QStyle::SP_MediaSkipForward,       QStyle::SP_FileIcon,          QStyle::SP_TrashIcon,
        QStyle::SP_FileDialogDetailedView, QStyle::SP_DialogSaveButton,  QStyle::SP_DialogCancelButton,
        QStyle::SP_BrowserReload};
    return QApplication::style()->standardIcon(pix[b]);
}
} // namespace

RecordNavigator::RecordNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int i = 0; i < ButtonCount; ++i) {
        auto* b = new QToolButton(this);
        const QString caption = QString::fromUtf8(captions()[i]);
        b->setText(caption);
        b->setToolTip(caption);
        b->setIcon(iconFor(Button(i)));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setMinimumWidth(64);
        b->setStyleSheet("QToolButton { color: blue; }");
        b->setObjectName(QStringLiteral("nav%1").arg(i));
        connect(b, &QToolButton::clicked, this, [this, i] { act(Button(i)); });
        layout->addWidget(b);
        m_buttons[i] = b;
    }
    layout->addStretch();
    updateButtons();
}

void RecordNavigator::setDataset(Dataset* dataset) {
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataset = dataset;
    if (dataset) {
        for (auto sig : {&Dataset::stateChanged, &Dataset::afterScroll, &Dataset::rowsReset})
            m_connections << connect(dataset, sig, this, &RecordNavigator::updateButtons);
    }
    updateButtons();
}

void RecordNavigator::setVisibleButtons(const Buttons& buttons) {
    for (int i = 0; i < ButtonCount; ++i)
        m_buttons[i]->setVisible(buttons.contains(Button(i)));
}

void RecordNavigator::setCaptionsOnly(bool captionsOnly) {
    for (int i = 0; i < ButtonCount; ++i) {
        m_buttons[i]->setIcon(captionsOnly ? QIcon() : iconFor(Button(i)));
        m_buttons[i]->setToolButtonStyle(captionsOnly ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextUnderIcon);
    }
}

void RecordNavigator::act(Button b) {
    Dataset* d = m_dataset;
    if (!d)
        return;
    bool allow = true;
    Q_EMIT beforeAction(b, &allow);
    if (!allow)
        return;
    if (b == Delete && !m_confirmDelete.isEmpty() &&
        QMessageBox::question(window(), QApplication::applicationName(), m_confirmDelete) != QMessageBox::Yes)
        return;
    bool ok = true;
    switch (b) {
    case First:
        d->first();
        break;
    case Prior:
        d->prior();
        break;
    case Next:
        d->next();
        break;
    case Last:
        d->last();
        break;
    case Insert:
        d->append();
        break;
    case Delete:
        ok = d->remove();
        break;
    case Edit:
        d->edit();
        break;
    case Post:
        ok = d->post();
        break;
    case Cancel:
        d->cancel();
        break;
    case Refresh:
        ok = d->refresh();
        break;
    case ButtonCount:
        break;
    }
    if (!ok)
        QMessageBox::critical(window(), QApplication::applicationName(), d->lastError());
    updateButtons();
    Q_EMIT clicked(b);
}

void RecordNavigator::updateButtons() {
    Dataset* d = m_dataset;
    const bool open = d && d->isOpen();
    const bool browsing = open && d->state() == Dataset::State::Browse;
    const bool editing = open && !browsing;
    const bool hasRows = open && !d->isEmpty();
    m_buttons[First]->setEnabled(browsing && hasRows && !d->bof());
    m_buttons[Prior]->setEnabled(browsing && hasRows && !d->bof());
    m_buttons[Next]->setEnabled(browsing && hasRows && !d->eof());
    m_buttons[Last]->setEnabled(browsing && hasRows && !d->eof());
    m_buttons[Insert]->setEnabled(browsing);
    m_buttons[Delete]->setEnabled(browsing && hasRows);
    m_buttons[Edit]->setEnabled(browsing && hasRows);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
    m_buttons[Refresh]->setEnabled(browsing);
}
