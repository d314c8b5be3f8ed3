#include "app/UpdateCheck.h"

#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "app/VersionInfo.h"

WebTextFetch::WebTextFetch(QObject* parent) : QObject(parent) {}

QString WebTextFetch::appendChunk(const QString& text, const QByteArray& chunk) {
    const qsizetype zero = chunk.indexOf('\0');
    return text + QString::fromLatin1(zero < 0 ? chunk : chunk.left(zero));
}

void WebTextFetch::fetch(const QUrl& url, std::function<void(const Result&)> done) {
    QNetworkRequest req(url);
    req.setHeader(QNetworkRequest::UserAgentHeader, "MyApp");
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setTransferTimeout(30000);
    QNetworkReply* reply = m_net.get(req);
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        Result r;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError && status == 0) {
            r.error = reply->errorString(); // no answer from the server
            done(r);
            return;
        }
        if (status < 200 || status > 299) {
            // An error page is not the version text: treat it as an address that cannot be opened.
            r.error = QStringLiteral("HTTP %1").arg(status);
            done(r);
            return;
        }
        if (reply->error() != QNetworkReply::NoError) {
            r.outcome = Outcome::ReadError;
            r.error = reply->errorString();
            done(r);
            return;
        }
        char buf[1024];
        r.outcome = Outcome::Ok;
        while (reply->bytesAvailable() > 0) {
            const qint64 n = reply->read(buf, sizeof buf);
            if (n <= 0) {
                r.outcome = n < 0 ? Outcome::ReadError : Outcome::Ok;
                break;
            }
            r.text = appendChunk(r.text, QByteArray(buf, n));
        }
        done(r);
    });
}

UpdateCheck::UpdateCheck(QObject* parent) : QObject(parent), m_version(VersionInfo::current()) {
    m_timer.setInterval(10000);
    connect(&m_timer, &QTimer::timeout, this, &UpdateCheck::run);
    m_online = [] {
        // Without a reachability backend the system cannot tell: try the fetch.
        if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend())
            return true;
        auto* info = QNetworkInformation::instance();
        return !info || info->reachability() != QNetworkInformation::Reachability::Disconnected;
    };
}

QString UpdateCheck::baseUrl() {
    QString base = qEnvironmentVariable("VESTRAL_UPDATE_URL", "http://atualizacao.vestral.invalid/");
    if (!base.endsWith('/'))
        base += '/';
    return base;
}

QUrl UpdateCheck::updateFileUrl() {
    return QUrl(baseUrl() + "sms_atualiza/atualiza.txt");
}

QUrl UpdateCheck::downloadPageUrl() {
    return QUrl(baseUrl() + "index.htm?page=_sms.php");
}

void UpdateCheck::run() {
    m_timer.stop();
    if (!m_online()) {
        Q_EMIT finished(false);
        return;
    }
    m_fetch.fetch(updateFileUrl(), [this](const WebTextFetch::Result& r) {
        if (r.outcome == WebTextFetch::Outcome::ReadError) {
            m_timer.start(); // an error while reading: try again in 10 seconds
            Q_EMIT finished(true);
            return;
        }
        if (r.outcome == WebTextFetch::Outcome::Ok && r.text != m_version)
            Q_EMIT newVersionOffered(r.text);
        Q_EMIT finished(false);
    });
}
