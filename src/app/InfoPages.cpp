#include "app/InfoPages.h"

#include <QDesktopServices>
#include <QDir>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/UpdateCheck.h"
#include "store/DataDir.h"
#include "store/TADO.h"

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

namespace {
QPixmap productPicture() {
    QPixmap pix(320, 120);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 320, 120);
    g.setColorAt(0, QColor(0x0B, 0x3D, 0x91));
    g.setColorAt(1, QColor(0x1E, 0x88, 0xE5));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(pix.rect(), 16, 16);
    p.setPen(Qt::white);
    QFont f("DejaVu Sans", 30, QFont::Bold);
    p.setFont(f);
    p.drawText(QRect(0, 10, 320, 60), Qt::AlignCenter, "VESTRAL SMS");
    f.setPointSize(11);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 70, 320, 30), Qt::AlignCenter, "SMS e E-mail em massa");
    return pix;
}
} // namespace

SobrePage::SobrePage(TADO* ado, QWidget* parent) : QWidget(parent), m_ado(ado), m_version(new QLabel(this)) {
    auto* v = new QVBoxLayout(this);
    auto* picture = new ClickableLabel(this);
    picture->setPixmap(productPicture());
    picture->setCursor(Qt::PointingHandCursor);
    picture->setToolTip(vendorSite());
    connect(picture, &ClickableLabel::clicked, this, [] { QDesktopServices::openUrl(QUrl(vendorSite())); });
    auto* credits = new QLabel(this);
    credits->setText("<p><b>VESTRAL SMS</b> — envio de SMS e E-mail em massa a partir de uma estação de trabalho.</p>"
                     "<p>Até 64 modems GSM ao mesmo tempo, histórico de envios, relatórios, importação e exportação "
                     "de contatos.</p>"
                     "<p>© VESTRAL Sistemas. Todos os direitos reservados.<br>"
                     "Suporte: suporte@vestral.invalid</p>");
    credits->setWordWrap(true);
    v->addWidget(picture, 0, Qt::AlignHCenter);
    v->addWidget(credits);
    v->addWidget(m_version);
    v->addStretch();
    connect(ado->dbCFG, &Dataset::afterOpen, this, &SobrePage::refresh);
    refresh();
}

QString SobrePage::vendorSite() {
    return UpdateCheck::baseUrl();
}

void SobrePage::refresh() {
    m_version->setText("Versão: " + m_ado->dbCFG->text("VERSAO"));
}

ManualPage::ManualPage(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("Manual em PDF caso não tenha um leitor PDF baixe em:", this));
    auto* address = new ClickableLabel(pdfReaderAddress(), this);
    address->setStyleSheet("color: blue; text-decoration: underline;");
    address->setCursor(Qt::PointingHandCursor);
    connect(address, &ClickableLabel::clicked, this, [address] { QDesktopServices::openUrl(QUrl(address->text())); });
    v->addWidget(address);
    auto* open = new QPushButton("Abrir Manual", this);
    connect(open, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QDir(DataDir::current()).filePath(manualFileName())));
    });
    v->addWidget(open, 0, Qt::AlignLeft);
    v->addStretch();
}

QString ManualPage::manualFileName() {
    return QStringLiteral("Manual_Configuração_Modem_VESTRAL_SMS.pdf");
}

QString ManualPage::pdfReaderAddress() {
    return QStringLiteral("https://www.okular.org/download/");
}
