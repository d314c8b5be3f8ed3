#pragma once

#include <QLabel>
#include <QWidget>

class TADO;

// A picture that opens an address when clicked.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Page "Sobre": product picture (opens the vendor's site), credits, "Versão: " + VERSAO.
class SobrePage : public QWidget {
    Q_OBJECT
public:
    explicit SobrePage(TADO* ado, QWidget* parent = nullptr);
    static QString vendorSite();
    QLabel* versionLabel() const { return m_version; }
    void refresh();

private:
    TADO* m_ado;
    QLabel* m_version;
};

// Page "Manual": where to get a PDF reader, and "Abrir Manual".
class ManualPage : public QWidget {
    Q_OBJECT
public:
    explicit ManualPage(QWidget* parent = nullptr);
    static QString manualFileName();
    static QString pdfReaderAddress();
};
