#include "modem/ConfiguracaoModemPage.h"

#include "modem/DeviceDialog.h"
#include "modem/ModemManual.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "modem/SelectPortDialog.h"
#include "store/DataDir.h"
#include "store/SmsModeSettings.h"
#include "store/TADO.h"
#include "widgets/DbFieldBinder.h"
#include "widgets/DbGrid.h"
#include "widgets/RecordNavigator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QList<DatasetModel::Column> portColumns() {
    const Qt::Alignment centre = Qt::AlignCenter;
    return {{QStringLiteral("ID"), QStringLiteral("Entrada"), 70, false, centre},
            {QStringLiteral("COM"), QStringLiteral("Porta"), 70, false, centre},
            {QStringLiteral("VELOCIDADE"), QStringLiteral("Velocidade"), 90, false, centre},
            {QStringLiteral("PARIDADE"), QStringLiteral("Paridade"), 80, false, centre},
            {QStringLiteral("DATABITS"), QStringLiteral("Databits"), 70, false, centre},
            {QStringLiteral("STOPBITS"), QStringLiteral("Stopbits"), 70, false, centre},
            {QStringLiteral("ATIVO"), QStringLiteral("Ativo"), 60, true, centre},
            {QStringLiteral("MODELO"), QStringLiteral("Modelo"), 150, false, centre},
            {QStringLiteral("IMSI"), QStringLiteral("IMSI"), 130, false, centre},
            {QStringLiteral("LIMITE_DIA"), QStringLiteral("Limite Diário"), 90, false, centre}};
}

QComboBox* choiceBox(const QString& name, const QStringList& choices, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->addItems(choices);
    return box;
}

} // namespace

ConfiguracaoModemPage::ConfiguracaoModemPage(TADO* ado, PortConfigurator* configurator, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_configurator(configurator), m_grid(new DbGrid(ado->dbPORTA, portColumns(), this)) {
    setObjectName(QStringLiteral("Configuração Modem"));
    m_grid->setObjectName(QStringLiteral("gridPORTA"));
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* v = new QVBoxLayout(this);
    v->addWidget(m_grid, 1);
    v->addWidget(makeEditors());
    v->addWidget(makeSimEditors());
    v->addWidget(makeButtons());
    m_charsets = new QLabel(this);
    m_charsets->setObjectName(QStringLiteral("charsets"));
    m_charsets->setWordWrap(true);
    v->addWidget(m_charsets);
    for (int n = 1; n <= PortSlots::kCount; ++n)
        connect(configurator->portSlots()->slot(n), &PortSlot::charsetChanged, this,
                &ConfiguracaoModemPage::showCharsets);
    showCharsets();
    // A slot without a port number asks for one when it opens.
    configurator->portSlots()->setPortChooser(
        [this](const SerialChannel&) { return SelectPortDialog::choose(window()); });
}

// "Conjunto de caracteres: Entrada 1: 8859-1 · Entrada 2: IRA", for the slots a send configured.
// PDU mode (dbCFG.MODO_SMS) codes the texts itself: no character set of the modem is used.
void ConfiguracaoModemPage::showCharsets() {
    QString error;
    if (readSmsMode(m_ado->database(), &error).mode == SmsMode::Pdu && error.isEmpty()) {
        m_charsets->setText(QStringLiteral("Conjunto de caracteres: não usado no modo PDU"));
        return;
    }
    QStringList parts;
    for (int n = 1; n <= PortSlots::kCount; ++n) {
        const QString& name = m_configurator->portSlots()->slot(n)->charset();
        if (!name.isEmpty())
            parts << QStringLiteral("Entrada %1: %2").arg(n).arg(name);
    }
    m_charsets->setText(
        QStringLiteral("Conjunto de caracteres (modo texto): ") +
        (parts.isEmpty() ? QStringLiteral("definido no primeiro envio") : parts.join(QStringLiteral(" · "))));
}

// The sending mode may have changed on another page since.
void ConfiguracaoModemPage::showEvent(QShowEvent* event) {
    showCharsets();
    QWidget::showEvent(event);
}

QStringList ConfiguracaoModemPage::speedChoices() {
    return {"50",    "75",    "110",   "150",   "300",   "600",   "1200",   "2400",   "4800",   "7200",  "9600",
            "14400", "19200", "28800", "33600", "38400", "57600", "115200", "230400", "460800", "921600"};
}

QStringList ConfiguracaoModemPage::parityChoices() {
    return {"pEven", "pMark", "pNone", "pOdd", "pSpace"};
}

QStringList ConfiguracaoModemPage::dataBitsChoices() {
    return {"5", "6", "7", "8"};
}

QStringList ConfiguracaoModemPage::stopBitsChoices() {
    // No "1.5": the serial drivers here have no one-and-a-half stop bits.
    return {"1", "2"};
}

QWidget* ConfiguracaoModemPage::makeEditors() {
    auto* box = new QGroupBox(QStringLiteral("Configuração da Entrada"), this);
    auto* h = new QHBoxLayout(box);
    auto* binder = new DbFieldBinder(m_ado->dbPORTA, box);
    QStringList ports;
    for (int n = 1; n <= 999; ++n)
        ports.append(QString::number(n));
    const struct {
        const char* title;
        const char* field;
        QStringList choices;
    } editors[] = {{"Porta", "COM", ports},
                   {"Velocidade", "VELOCIDADE", speedChoices()},
                   {"Paridade", "PARIDADE", parityChoices()},
                   {"Databits", "DATABITS", dataBitsChoices()},
                   {"Stopbits", "STOPBITS", stopBitsChoices()}};
    for (const auto& e : editors) {
        auto* form = new QFormLayout;
        form->setRowWrapPolicy(QFormLayout::WrapAllRows);
        QComboBox* combo = choiceBox(QString::fromLatin1(e.field), e.choices, box);
        form->addRow(QString::fromLatin1(e.title), combo);
        binder->bind(combo, QString::fromLatin1(e.field));
        h->addLayout(form);
    }
    auto* ativo = new QCheckBox(QStringLiteral("Porta Ativa"), box);
    ativo->setObjectName(QStringLiteral("ATIVO"));
    binder->bind(ativo, QStringLiteral("ATIVO"));
    h->addWidget(ativo);
    h->addStretch();
    binder->refresh();
    return box;
}

// The slot's SIM: its PIN (masked), SMS centre and daily cap, and what the modem said it is at the last open.
QWidget* ConfiguracaoModemPage::makeSimEditors() {
    auto* box = new QGroupBox(QStringLiteral("SIM e Modem da Entrada"), this);
    auto* grid = new QGridLayout(box);
    auto* binder = new DbFieldBinder(m_ado->dbPORTA, box);
    const struct {
        const char* title;
        const char* field;
        bool editable;
    } fields[] = {{"PIN do SIM", "PIN", true},
                  {"Centro de Mensagens (SMSC)", "SMSC", true},
                  {"Limite Diário de SMS (0 = sem limite)", "LIMITE_DIA", true},
                  {"IMEI", "IMEI", false},
                  {"IMSI", "IMSI", false},
                  {"ICCID", "ICCID", false},
                  {"Modelo", "MODELO", false}};
    int at = 0;
    for (const auto& f : fields) {
        auto* edit = new QLineEdit(box);
        edit->setObjectName(QString::fromLatin1(f.field));
        edit->setReadOnly(!f.editable);
        if (QLatin1String(f.field) == QLatin1String("PIN")) {
            edit->setEchoMode(QLineEdit::Password);
            edit->setMaxLength(8);
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), edit));
        } else if (QLatin1String(f.field) == QLatin1String("LIMITE_DIA")) {
            edit->setValidator(new QIntValidator(0, 1000000, edit));
        }
        binder->bind(edit, QString::fromLatin1(f.field));
        grid->addWidget(new QLabel(QString::fromUtf8(f.title), box), at / 4 * 2, at % 4);
        grid->addWidget(edit, at / 4 * 2 + 1, at % 4);
        ++at;
    }
    binder->refresh();
    return box;
}

QWidget* ConfiguracaoModemPage::makeButtons() {
    auto* box = new QWidget(this);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    m_navigator = new RecordNavigator(box);
    m_navigator->setObjectName(QStringLiteral("navigatorPORTA"));
    m_navigator->setVisibleButtons({RecordNavigator::First, RecordNavigator::Prior, RecordNavigator::Next,
                                    RecordNavigator::Last, RecordNavigator::Edit, RecordNavigator::Post,
                                    RecordNavigator::Cancel, RecordNavigator::Refresh});
    m_navigator->setDataset(m_ado->dbPORTA);
    v->addWidget(m_navigator, 0, Qt::AlignLeft);
    auto* h = new QHBoxLayout;
    const struct {
        const char* name;
        const char* caption;
        void (ConfiguracaoModemPage::*slot)();
    } buttons[] = {
        {"btConfigurar", "Fechar e &Configurar todas as porta seriais", &ConfiguracaoModemPage::btConfigurarClick},
        {"btAbrir", "&Abrir todas as Portas", &ConfiguracaoModemPage::btAbrirClick},
        {"btDispositivos", "Dispositivos Seriais", &ConfiguracaoModemPage::btDispositivosClick}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), box);
        button->setObjectName(QString::fromLatin1(b.name));
        connect(button, &QPushButton::clicked, this, b.slot);
        h->addWidget(button);
    }
    h->addStretch();
    v->addLayout(h);
    return box;
}

void ConfiguracaoModemPage::btConfigurarClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_configurator->configureAll();
    QApplication::restoreOverrideCursor();
}

void ConfiguracaoModemPage::btAbrirClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool found = m_configurator->openAll();
    m_ado->dbPORTA->refresh(); // what the modems said at the set-up
    QApplication::restoreOverrideCursor();
    if (found) {
        Q_EMIT portsOpened();
        return;
    }
    const QString text = PortConfigurator::noPortOpenedQuestion().replace('\r', '\n');
    if (QMessageBox::warning(window(), QApplication::applicationName(), text, QMessageBox::Yes | QMessageBox::Cancel) ==
        QMessageBox::Yes)
        openManual();
}

void ConfiguracaoModemPage::openManual() {
    QString error;
    const QString path = ModemManual::ensure(DataDir::current(), &error);
    if (path.isEmpty()) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), error);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void ConfiguracaoModemPage::btDispositivosClick() {
    DeviceDialog dialog(DataDir::current(), window());
    dialog.exec();
}
