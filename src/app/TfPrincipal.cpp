#include "app/TfPrincipal.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QFrame>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSqlQuery>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/EstacoesPage.h"
#include "app/InfoPages.h"
#include "app/RegionalFormats.h"
#include "app/RegionalWidgets.h"
#include "app/SettingsPages.h"
#include "app/UpdateCheck.h"
#include "app/VersionInfo.h"
#include "campaign/EnviarEmailPage.h"
#include "campaign/EnviarSmsPage.h"
#include "campaign/TDM.h"
#include "contacts/ContatosPage.h"
#include "contacts/DescadastradosPage.h"
#include "contacts/GruposPage.h"
#include "history/HistoricoPage.h"
#include "history/ManutencaoPage.h"
#include "mail/ConfigEmailPage.h"
#include "mail/EmailSendWidget.h"
#include "modem/ConfiguracaoModemPage.h"
#include "modem/DebugModemPage.h"
#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "modem/PortPanelWidget.h"
#include "sms/CaixaSaidaPage.h"
#include "sms/ModemStation.h"
#include "sms/ScheduledSend.h"
#include "sms/SmsRecebidoPage.h"
#include "sms/SmsStation.h"
#include "store/StatusSink.h"
#include "store/StoreWatcher.h"
#include "store/TADO.h"
#include "store/TimeText.h"
#include "widgets/RecordNavigator.h"
#include "widgets/TabRows.h"

namespace {
TfPrincipal* g_main = nullptr;

QWidget* placeholder(const QString& caption, QWidget* parent) {
    auto* w = new QWidget(parent);
    w->setObjectName(caption);
    return w;
}
} // namespace

const QStringList& TfPrincipal::pageCaptions() {
    static const QStringList c{"Enviar SMS",
                               "Enviar EMAIL",
                               "Configuração Modem",
                               "Debug Modem",
                               "Configuração do Sistema",
                               "Cadastro de Contatos",
                               "Cadastro de Grupos",
                               "Histórico de Envio",
                               "Estações",
                               "Sobre",
                               "Manual"};
    return c;
}

TfPrincipal::TfPrincipal(TADO* ado, QWidget* parent)
    : QMainWindow(parent), m_ado(ado), m_pages(new QTabWidget(this)), m_update(new UpdateCheck(this)) {
    g_main = this;
    RegionalFormats::install();
    qApp->installEventFilter(new RegionalWidgets(this)); // regional day names in every calendar
    setWindowTitle(VersionInfo::title());
    storeRunningVersion();
    resize(1025, 779);
    setMinimumSize(270, 50);
    setMaximumSize(1920, 1040);

    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(2, 2, 2, 2);
    auto* tabs = new TabRows(m_pages, 200, central);
    v->setSpacing(0);
    v->addWidget(tabs);
    v->addWidget(m_pages, 1);
    m_portPanel = new QFrame(central);
    m_portPanel->setObjectName("portPanel");
    v->addWidget(m_portPanel);
    setCentralWidget(central);
    createPages();
    tabs->rebuild();
    createStatusBar();
    watchSharedStore();

    m_relogio.setInterval(1000);
    connect(&m_relogio, &QTimer::timeout, this, &TfPrincipal::RelogioTimer);
    m_relogio.start();
    m_tAUTO.setInterval(1000);
    connect(&m_tAUTO, &QTimer::timeout, this, &TfPrincipal::scheduledTick);
    if (ado->dbCFG->boolean("AUTO"))
        m_tAUTO.start();
    connect(ado, &TADO::autoSendChanged, this, [this](bool on) { on ? m_tAUTO.start() : m_tAUTO.stop(); });
    connect(m_update, &UpdateCheck::newVersionOffered, this, &TfPrincipal::onUpdateOffered);
    m_update->timer()->start();

    m_pages->setCurrentWidget(m_configModem);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    fillStatusPanels();
    RelogioTimer();
}

// "Sobre" shows the settings row's VERSAO: it is kept at the version of the running program, so the
// title and "Sobre" name one version.
void TfPrincipal::storeRunningVersion() {
    Dataset* cfg = m_ado->dbCFG;
    if (!cfg->isOpen() || cfg->recordCount() == 0 || cfg->text("VERSAO") == VersionInfo::current())
        return;
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("UPDATE dbCFG SET VERSAO = ?"));
    q.addBindValue(VersionInfo::current());
    if (q.exec())
        cfg->refresh();
}

TfPrincipal::~TfPrincipal() {
    if (m_restoreScreen.isValid())
        QProcess::execute("xrandr",
                          {"-s", QStringLiteral("%1x%2").arg(m_restoreScreen.width()).arg(m_restoreScreen.height())});
    if (g_main == this)
        g_main = nullptr;
}

TfPrincipal* TfPrincipal::instance() {
    return g_main;
}

QWidget* TfPrincipal::page(const QString& path) const {
    return m_byPath.value(path);
}

void TfPrincipal::setPage(const QString& path, QWidget* widget) {
    m_byPath.insert(path, widget);
}

QTabWidget* TfPrincipal::makeSubPages(const QString& caption, const QStringList& subCaptions) {
    auto* tabs = new QTabWidget(m_pages);
    tabs->setObjectName(caption);
    for (const QString& sub : subCaptions) {
        tabs->addTab(pageOrPlaceholder(caption + "/" + sub), sub);
    }
    return tabs;
}

QWidget* TfPrincipal::makeSettingsPage() {
    const QString caption = "Configuração do Sistema";
    m_configSistema = new ConfigSistemaPage(m_ado);
    setPage(caption + "/Configuração Sistema", m_configSistema);
    m_configSms = new ConfigSmsPage(m_ado);
    setPage(caption + "/Configurar SMS", m_configSms);
    auto* box = new QWidget(m_pages);
    auto* v = new QVBoxLayout(box);
    v->addWidget(makeSubPages(caption, {"Configuração Sistema", "Configurar SMS", "Configurar E-mail",
                                        "Manutenção do Banco de Dados"}),
                 1);
    m_settingsNavigator = new RecordNavigator(box);
    m_settingsNavigator->setObjectName("settingsNavigator");
    m_settingsNavigator->setVisibleButtons({RecordNavigator::First, RecordNavigator::Prior, RecordNavigator::Next,
                                            RecordNavigator::Last, RecordNavigator::Edit, RecordNavigator::Post,
                                            RecordNavigator::Cancel, RecordNavigator::Refresh});
    m_settingsNavigator->setDataset(m_ado->dbCFG);
    connect(m_settingsNavigator, &RecordNavigator::clicked, this, [this](RecordNavigator::Button b) {
        if (b == RecordNavigator::Post)
            Q_EMIT settingsSaved();
    });
    v->addWidget(m_settingsNavigator);
    return box;
}

void TfPrincipal::installSubsystemPages() {
    // Each subsystem's pages, by "page" or "page/sub-page"; captions without a page stay empty.
    setPage("Histórico de Envio", new HistoricoPage(m_ado));
    setPage("Configuração do Sistema/Manutenção do Banco de Dados", new ManutencaoPage(m_ado));
    auto* recipients = new TDM(m_ado, this); // the recipient set of both send pages
    auto* enviarSms = new EnviarSmsPage(m_ado, recipients);
    auto* enviarEmail = new EnviarEmailPage(m_ado, recipients);
    setPage("Enviar SMS/SMS", enviarSms);
    setPage("Enviar EMAIL", enviarEmail);
    connect(this, &TfPrincipal::clockTick, enviarSms, &EnviarSmsPage::refreshIndicator);
    connect(this, &TfPrincipal::clockTick, enviarEmail, &EnviarEmailPage::refreshIndicator);
    enviarEmail->campaignArea()->addWidget(new EmailSendWidget(m_ado, recipients, enviarEmail));
    auto* configEmail = new ConfigEmailPage(m_ado);
    setPage("Configuração do Sistema/Configurar E-mail", configEmail);
    connect(this, &TfPrincipal::settingsSaved, configEmail, &ConfigEmailPage::DBNavigator1Click);
    auto* sms = new SmsStation(m_ado, this); // send workers, inbox of slot 1, scheduled send
    auto* outbox = new CaixaSaidaPage(m_ado, sms);
    setPage("Enviar SMS/Caixa de Saída", outbox);
    connect(enviarSms, &EnviarSmsPage::outboxPageWanted, this, [this, outbox] { showSmsSubPage(outbox); });
    setPage("Enviar SMS/SMS Recebido", new SmsRecebidoPage(m_ado));
    m_descadastrados = new DescadastradosPage(m_ado);
    setPage("Enviar SMS/Descadastrados", m_descadastrados);
    connect(this, &TfPrincipal::clockTick, sms, &SmsStation::clockTick);
    connect(this, &TfPrincipal::scheduledTick, sms, &SmsStation::scheduledTick);
    installModemPages(sms, enviarSms, outbox);
    connect(sms->schedule(), &ScheduledSend::labelsChanged, this, [this](const QString& d, const QString& c) {
        if (m_configSistema)
            m_configSistema->setScheduleLabels(d, c);
    });
    setPage("Cadastro de Contatos", new ContatosPage(m_ado));
    setPage("Cadastro de Grupos", new GruposPage(m_ado));
}

// The port slots with their replies and probing, the two modem pages and the port panel.
void TfPrincipal::installModemPages(SmsStation* sms, EnviarSmsPage* enviarSms, CaixaSaidaPage* outbox) {
    auto* modem = new ModemStation(m_ado, this);
    modem->attach(sms);
    auto* configModem = new ConfiguracaoModemPage(m_ado, modem->configurator());
    setPage("Configuração Modem", configModem);
    m_configModem = configModem;
    connect(enviarSms, &EnviarSmsPage::portsPageWanted, this, [this] { m_pages->setCurrentWidget(m_configModem); });
    auto* debugModem = new DebugModemPage(modem->portSlots(), modem->consoleLog());
    setPage("Debug Modem", debugModem);
    debugModem->setReceberSms([sms] { sms->readInbox(); });
    enviarSms->setVerificaPortas(modem->configurator()->verificaPortasFunction());
    connect(configModem, &ConfiguracaoModemPage::portsOpened, this, [this, enviarSms] {
        // "Enviar SMS" opens on its "SMS" sub-page, whichever sub-page was open last.
        showSmsSubPage(enviarSms);
        enviarSms->suiButton22Click();
    });
    connect(modem->sendLog(), &ModemLog::lineAppended, outbox, &CaixaSaidaPage::appendLog);
    auto* panel = new QVBoxLayout(m_portPanel);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(new PortPanelWidget(modem->portSlots(), m_portPanel));
}

void TfPrincipal::showSmsSubPage(QWidget* subPage) {
    m_pages->setCurrentWidget(m_smsPages);
    m_smsPages->setCurrentWidget(subPage);
}

QWidget* TfPrincipal::pageOrPlaceholder(const QString& path) {
    QWidget* w = m_byPath.value(path);
    if (!w) {
        w = placeholder(path, m_pages);
        setPage(path, w);
    }
    return w;
}

void TfPrincipal::createPages() {
    installSubsystemPages();
    m_smsPages = makeSubPages("Enviar SMS", {"SMS", "Caixa de Saída", "SMS Recebido", "Descadastrados"});
    m_pages->addTab(m_smsPages, "Enviar SMS");
    for (const QString& caption :
         {QStringLiteral("Enviar EMAIL"), QStringLiteral("Configuração Modem"), QStringLiteral("Debug Modem")}) {
        m_pages->addTab(pageOrPlaceholder(caption), caption);
    }
    m_pages->addTab(makeSettingsPage(), "Configuração do Sistema");
    for (const QString& caption : {QStringLiteral("Cadastro de Contatos"), QStringLiteral("Cadastro de Grupos"),
                                   QStringLiteral("Histórico de Envio")}) {
        m_pages->addTab(pageOrPlaceholder(caption), caption);
    }
    auto* stations = new EstacoesPage(m_ado, m_pages);
    setPage("Estações", stations);
    m_pages->addTab(stations, "Estações");
    m_sobre = new SobrePage(m_ado, m_pages);
    setPage("Sobre", m_sobre);
    m_pages->addTab(m_sobre, "Sobre");
    auto* manual = new ManualPage(m_pages);
    setPage("Manual", manual);
    m_pages->addTab(manual, "Manual");
}

void TfPrincipal::createStatusBar() {
    const int widths[] = {110, 200, 200, 200, 200};
    for (int i = 0; i < 5; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("panel%1").arg(i));
        m_panels[i]->setFixedWidth(widths[i] + (i == 0 ? 30 : 0));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(m_panels[i]);
    }
    connect(m_ado, &TADO::contactsCountChanged, this,
            [this](int n) { m_panels[1]->setText(QStringLiteral("Contatos Cadastrados: %1").arg(n)); });
    connect(m_ado, &TADO::historyCountChanged, this,
            [this](int n) { m_panels[4]->setText(QStringLiteral("Total SMS Histórico: %1").arg(n)); });
    connect(StatusSink::instance(), &StatusSink::panelChanged, this, [this](int i, const QString& text) {
        if (i >= 0 && i < 5)
            m_panels[i]->setText(text);
    });
}

// On a store shared with other stations, their changes are read again as they come (nothing on the SQLite file).
void TfPrincipal::watchSharedStore() {
    if (!m_ado->store().isPostgres())
        return;
    m_watcher = new StoreWatcher(m_ado->store(), this);
    connect(m_watcher, &StoreWatcher::tablesChanged, m_ado, &TADO::rereadTables);
    // The opt-out list has a model of its own: read again when it is on screen (it reads itself when shown).
    connect(m_watcher, &StoreWatcher::tablesChanged, this, [this](const QStringList& tables) {
        if (m_descadastrados && m_descadastrados->isVisible() && tables.contains(QStringLiteral("dbDESCADASTRO")))
            m_descadastrados->reload();
    });
    connect(m_watcher, &StoreWatcher::connectionChanged, this, [](bool listening, const QString& text) {
        const QString when = TimeText::stampShown(QDateTime::currentDateTime());
        if (listening)
            qInfo().noquote() << when << "Avisos de mudança no banco de dados restabelecidos: dados lidos de novo.";
        else
            qWarning().noquote() << when
                                 << "Avisos de mudança no banco de dados interrompidos (" + text +
                                        "): nova tentativa a cada 2 s.";
    });
    if (!m_watcher->start())
        qWarning().noquote() << TimeText::stampShown(QDateTime::currentDateTime())
                             << "Avisos de mudança no banco de dados indisponíveis (" + m_watcher->error() +
                                    "): nova tentativa a cada 2 s.";
}

void TfPrincipal::fillStatusPanels() {
    if (m_ado->dbCLIENTE->isOpen())
        m_panels[1]->setText(QStringLiteral("Contatos Cadastrados: %1").arg(m_ado->dbCLIENTE->recordCount()));
    if (m_ado->dbMENSAGEM->isOpen())
        m_panels[3]->setText(QStringLiteral("SMS para envio: %1").arg(m_ado->dbMENSAGEM->recordCount()));
    if (m_ado->dbHISTORICO->isOpen())
        m_panels[4]->setText(QStringLiteral("Total SMS Histórico: %1").arg(m_ado->dbHISTORICO->recordCount()));
}

void TfPrincipal::RelogioTimer() {
    const QDateTime now = QDateTime::currentDateTime();
    m_panels[0]->setText(RegionalFormats::formatDateTime(now));
    Q_EMIT clockTick(now);
}

bool TfPrincipal::needsResolutionQuestion(const QSize& screen) {
    return screen.width() < 1024 || screen.height() < 768;
}

void TfPrincipal::checkScreenSize() {
    QScreen* s = screen();
    if (!s || !needsResolutionQuestion(s->size()))
        return;
    const auto answer = QMessageBox::warning(
        this, QApplication::applicationName(),
        "Sua resolução atual é inferior a mínima recomendada de 1024x768\rDeseja que o sistema altere sua "
        "resolução automaticamente?",
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const QSize before = s->size();
    if (QProcess::execute("xrandr", {"-s", "1024x768"}) == 0)
        m_restoreScreen = before;
}

void TfPrincipal::onUpdateOffered(const QString& text) {
    raise();
    activateWindow();
    QApplication::beep();
    const auto answer = QMessageBox::information(this, QApplication::applicationName(),
                                                 "Nova versão disponível " + text + " deseja atualizar agora?",
                                                 QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        QDesktopServices::openUrl(UpdateCheck::downloadPageUrl());
}

bool TfPrincipal::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && screen()) {
        const int top = screen()->availableGeometry().top();
        if (y() != top)
            move(x(), top);
    }
    return QMainWindow::event(event);
}
