#include "mail/ConfigEmailPage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include "mail/EmailPreviewView.h"
#include "store/TADO.h"
#include "widgets/DbFieldBinder.h"

const QString ConfigEmailPage::kHelpText =
    QStringLiteral("Para adicionar TAG vinculados ao cadastro basta seguir os seguintes passos:\r\n"
                   "* Nome do Destinatário, colocar [NOME]\r\n"
                   "* Telefone do Destinatário, colocar [TELEFONE]\r\n"
                   "* Email do Destinatário, colocar [EMAIL]\r\n"
                   "TEXTO adicional Ex.: Valor personalizado, colocar [TEXTO].");

ConfigEmailPage::ConfigEmailPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_binder(new DbFieldBinder(ado->dbCFG, this)) {
    auto* h = new QHBoxLayout(this);
    h->addWidget(makeEditorHalf(), 1);
    auto* right = new QGroupBox(QStringLiteral("Preview E-Mail"), this);
    auto* rightLayout = new QVBoxLayout(right);
    m_preview = new EmailPreviewView(right);
    rightLayout->addWidget(m_preview);
    h->addWidget(right, 1);
    m_binder->bind(m_body, QStringLiteral("BODY_EMAIL"));
    m_binder->bind(m_subject, QStringLiteral("ASSUNTO"));
}

QWidget* ConfigEmailPage::makeEditorHalf() {
    auto* left = new QGroupBox(QStringLiteral("Configuração do E-mail"), this);
    auto* v = new QVBoxLayout(left);
    auto* bodyBox = new QGroupBox(QStringLiteral("Mensagem padrão do EMAIL (Cole aqui seu código HTML)"), left);
    auto* bodyLayout = new QVBoxLayout(bodyBox);
    m_body = new QPlainTextEdit(bodyBox);
    m_body->setObjectName(QStringLiteral("BODY_EMAIL"));
    m_body->setLineWrapMode(QPlainTextEdit::NoWrap);
    bodyLayout->addWidget(m_body);
    v->addWidget(bodyBox, 1);
    v->addWidget(new QLabel(QStringLiteral("Assunto Email"), left));
    m_subject = new QLineEdit(left);
    m_subject->setObjectName(QStringLiteral("ASSUNTO"));
    v->addWidget(m_subject);
    m_help = new QLabel(QString(kHelpText).replace(QLatin1String("\r\n"), QLatin1String("\n")), left);
    m_help->setStyleSheet(QStringLiteral("color: red;"));
    m_help->setWordWrap(true);
    v->addWidget(m_help);
    return left;
}

void ConfigEmailPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) // the page was chosen, not the window restored
        TabSheet11Show();
}

void ConfigEmailPage::TabSheet11Show() {
    m_preview->loadHtml(m_body->toPlainText());
}

void ConfigEmailPage::DBNavigator1Click() {
    if (m_preview->view())
        TabSheet11Show();
}
