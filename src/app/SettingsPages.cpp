#include "app/SettingsPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "campaign/SmsTextEditor.h"
#include "store/TADO.h"
#include "widgets/DbFieldBinder.h"
#include "widgets/TimeOfDayEdit.h"

namespace {
QComboBox* choices(const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    return box;
}

QWidget* withUnit(QWidget* editor, const QString& unit, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(editor);
    h->addWidget(new QLabel(unit, row));
    h->addStretch();
    return row;
}

QSpinBox* number(int max, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, max);
    box->setMinimumWidth(100);
    return box;
}
} // namespace

ConfigSistemaPage::ConfigSistemaPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_binder(new DbFieldBinder(ado->dbCFG, this)), m_difference(new QLabel("---", this)),
      m_countdown(new QLabel("Falta 0h 0m 0s para o envio!", this)) {
    // Left: the e-mail server and the pauses; right: the scheduled send and the external source.
    auto* h = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    QFormLayout* form = makeServerForm();
    addSmsModeRows(form);
    left->addLayout(form);
    left->addStretch();
    h->addLayout(left, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(makeScheduleGroup());
    right->addWidget(makeSourceGroup(), 1);
    h->addLayout(right, 1);
}

QFormLayout* ConfigSistemaPage::makeServerForm() {
    auto* form = new QFormLayout;
    auto* empresa = new QLineEdit(this);
    auto* host = new QLineEdit(this);
    auto* user = new QLineEdit(this);
    auto* password = new QLineEdit(this);
    password->setEchoMode(QLineEdit::Password);
    auto* porta = number(65535, this);
    auto* tls = choices({"utNoTLSSupport", "utUseExplicitTLS", "utUseImplicitTLS", "utUseRequireTLS"}, this);
    auto* ssl = new QCheckBox("Usa SSL", this);
    auto* method = choices({"sslvTLSv1", "sslvSSLv2", "sslvSSLv3", "sslvSSLv23"}, this);
    auto* cascata = number(100000, this);
    auto* tempoSms = number(3600000, this);
    auto* tempoEmail = number(3600000, this);
    form->addRow("Nome da Empresa", empresa);
    form->addRow("Host", host);
    form->addRow("Email", user);
    form->addRow("Password", password);
    form->addRow("Porta", porta);
    form->addRow("Criptografia TLS", tls);
    form->addRow("", ssl);
    form->addRow("Método SSL", method);
    form->addRow("Cascatear quantas mensagem por Entrada", cascata);
    form->addRow("Tempo de espera para envio de do próximo SMS", withUnit(tempoSms, "(ms) milisegundos", this));
    form->addRow("Tempo de espera para envio de do próximo E-mail", withUnit(tempoEmail, "(ms) milisegundos", this));
    m_binder->bind(empresa, "EMPRESA");
    m_binder->bind(host, "HOST");
    m_binder->bind(user, "USERNAME");
    m_binder->bind(password, "PASSWORD");
    m_binder->bind(porta, "PORTA");
    m_binder->bind(tls, "TLS");
    m_binder->bind(ssl, "SSL");
    m_binder->bind(method, "METHODSLL");
    m_binder->bind(cascata, "CASCATA");
    m_binder->bind(tempoSms, "TEMPO_SMS");
    m_binder->bind(tempoEmail, "TEMPO_EMAIL");
    return form;
}

// How SMS go to the modems (MODO_SMS) and whether the network is asked for delivery reports (CONFIRMA_ENTREGA).
void ConfigSistemaPage::addSmsModeRows(QFormLayout* form) {
    auto* mode = new QComboBox(this);
    mode->setObjectName("MODO_SMS");
    mode->addItem("Texto", "TEXTO");
    mode->addItem("PDU", "PDU");
    auto* confirm = new QCheckBox("Confirmação de entrega", this);
    confirm->setObjectName("CONFIRMA_ENTREGA");
    auto* hint = new QLabel("Modo PDU: acentos e qualquer caractere, mensagens longas em até 6 partes e "
                            "confirmação de entrega. Modo Texto: até 160 caracteres, sem acentos.",
                            this);
    hint->setObjectName("smsModeHint");
    hint->setWordWrap(true);
    form->addRow("Modo de envio de SMS", mode);
    form->addRow("", confirm);
    form->addRow(hint);
    m_binder->bindChoice(mode, "MODO_SMS");
    m_binder->bind(confirm, "CONFIRMA_ENTREGA");
    addOptOutRows(form);
}

// The words of a received SMS that take its sender off every campaign (PALAVRAS_SAIR), whether that sender is
// told so by one SMS naming the company (CONFIRMA_SAIR), and the e-mails' opt-out footer line (RODAPE_SAIR).
void ConfigSistemaPage::addOptOutRows(QFormLayout* form) {
    auto* words = new QLineEdit(this);
    words->setObjectName("PALAVRAS_SAIR");
    words->setToolTip("Separadas por vírgula. Um SMS recebido que seja só uma destas palavras (sem contar "
                      "maiúsculas, acentos e pontuação) descadastra o remetente.");
    auto* confirm = new QCheckBox("Confirmar o descadastro por SMS", this);
    confirm->setObjectName("CONFIRMA_SAIR");
    confirm->setToolTip("Quem se descadastrar por SMS recebe uma única mensagem, pela mesma entrada: \"Você não "
                        "receberá mais mensagens de\" e o Nome da Empresa.");
    auto* footer = new QCheckBox("Rodapé de descadastro nos e-mails", this);
    footer->setObjectName("RODAPE_SAIR");
    form->addRow("Palavras para sair da lista", words);
    form->addRow("", confirm);
    form->addRow("", footer);
    m_binder->bind(words, "PALAVRAS_SAIR");
    m_binder->bind(confirm, "CONFIRMA_SAIR");
    m_binder->bind(footer, "RODAPE_SAIR");
}

QGroupBox* ConfigSistemaPage::makeScheduleGroup() {
    auto* group = new QGroupBox("Envio automático de SMS", this);
    group->setObjectName("scheduleGroup");
    auto* form = new QFormLayout(group);
    m_horario = new TimeOfDayEdit(group);
    m_horario->setObjectName("HORARIO");
    m_horario->setDisplayFormat(kHorarioFormat);
    auto* autoSend = new QCheckBox("Ativar envio automático", group);
    form->addRow("Horário de Envio", m_horario);
    form->addRow("", autoSend);
    form->addRow("", m_difference);
    form->addRow("", m_countdown);
    m_binder->bind(m_horario, "HORARIO");
    m_binder->bind(autoSend, "AUTO");
    return group;
}

QGroupBox* ConfigSistemaPage::makeSourceGroup() {
    auto* group = new QGroupBox("Integração", this);
    auto* v = new QVBoxLayout(group);
    auto* connection = new QPlainTextEdit(group);
    auto* query = new QPlainTextEdit(group);
    connection->setObjectName("ADOCONNECTION");
    query->setObjectName("QUERY");
    // Tall enough for a real query: several lines each, growing with the window.
    const int line = fontMetrics().lineSpacing();
    connection->setMinimumHeight(4 * line + 10);
    query->setMinimumHeight(7 * line + 10);
    v->addWidget(new QLabel("String de Conexão do Banco de Dados", group));
    v->addWidget(connection, 1);
    v->addWidget(new QLabel("Query de consulta do Banco de Dados", group));
    v->addWidget(query, 2);
    m_binder->bind(connection, "ADOCONNECTION");
    m_binder->bind(query, "QUERY");
    return group;
}

void ConfigSistemaPage::setScheduleLabels(const QString& difference, const QString& countdown) {
    m_difference->setText(difference);
    m_countdown->setText(countdown);
}

ConfigSmsPage::ConfigSmsPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_binder(new DbFieldBinder(ado->dbCFG, this)), m_editor(new SmsTextEditor(this)),
      m_counter(new QLabel(this)) {
    auto* v = new QVBoxLayout(this);
    auto* group = new QGroupBox("Mensagem padrão do SMS", this);
    auto* g = new QVBoxLayout(group);
    m_editor->setObjectName("BODY_SMS");
    m_editor->setCounter(m_counter);
    g->addWidget(m_editor, 1);
    g->addWidget(m_counter);
    // Text mode cannot carry accents; PDU mode can, so the warning is shown in text mode only.
    auto* hint = new QLabel("Não utilizar caracteres especiais ç,à,á,â, etc...", group);
    g->addWidget(hint);
    connect(m_editor, &SmsTextEditor::modeChanged, hint,
            [hint](SmsMode mode) { hint->setVisible(mode == SmsMode::Text); });
    v->addWidget(group, 1);
    auto* help =
        new QLabel("Para adicionar campos vinculados ao cliente basta seguir os seguintes passos:\r\nNome do "
                   "Destinatário, colocar [NOME].\r\nTelefone do Destinatário, colocar [TELEFONE], lembrando o "
                   "SMS será enviado por padrão neste telefone.\r\nEmail do Destinatário, colocar [EMAIL],  "
                   "lembrando o Email será enviado por padrão neste email.\r\nTEXTO adicional Ex.: Valor "
                   "personalizado, colocar [TEXTO].",
                   this);
    help->setWordWrap(true);
    v->addWidget(help);
    m_binder->bind(m_editor, "BODY_SMS");
    m_editor->followMode(ado->dbCFG);
    updateCounter();
}

QPlainTextEdit* ConfigSmsPage::editor() const {
    return m_editor;
}

void ConfigSmsPage::updateCounter() {
    m_editor->updateCounter();
}

void ConfigSmsPage::showEvent(QShowEvent* event) {
    updateCounter();
    QWidget::showEvent(event);
}
