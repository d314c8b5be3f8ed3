// Sends N messages over one SMTP connection with the system's client and prints the elapsed time.
// Usage: smtp_bench PORT [COUNT]   (server on 127.0.0.1, no TLS, no authentication)
#include "mail/SmtpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

using namespace vestral::mail;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: smtp_bench PORT [COUNT]\n");
        return 2;
    }
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    SmtpSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = static_cast<quint16>(QByteArray(argv[1]).toUInt());
    settings.heloName = QStringLiteral("Servidor de Controle VESTRAL!");
    SmtpClient client;
    if (!client.configure(settings).ok())
        return 1;
    EmailMessage message;
    message.fromAddress = QStringLiteral("loja@example.com");
    message.fromName = QStringLiteral("[loja@example.com]");
    message.subject = QString::fromUtf8("Promoção de Natal");
    // About 2 kB of HTML in lines of 100 characters, like a small newsletter.
    message.htmlBody = QString::fromUtf8("<html><body><p>Olá!</p>\n%1</body></html>")
                           .arg(QString(QString(100, u'x') + u'\n').repeated(20));

    QElapsedTimer clock;
    clock.start();
    SmtpStatus status = client.connectToServer();
    for (int i = 0; status.ok() && i < count; ++i) {
        message.toAddress = QStringLiteral("cliente%1@example.org").arg(i);
        message.toName = QStringLiteral("Cliente %1").arg(i);
        status = client.send(message);
    }
    if (status.ok())
        status = client.disconnectFromServer();
    if (!status.ok()) {
        std::fprintf(stderr, "smtp_bench: %s\n", qPrintable(status.text()));
        return 1;
    }
    std::printf("%.3f\n", static_cast<double>(clock.nsecsElapsed()) / 1e9);
    return 0;
}
