#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>

// Web text fetch: GET with the agent name "MyApp", always from the server, the body read in
// chunks of up to 1024 bytes, each cut at its first zero byte, as 8-bit text.
class WebTextFetch : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Ok, OpenFailed, ReadError };
    struct Result {
        Outcome outcome = Outcome::OpenFailed;
        QString text;
        QString error;
    };
    explicit WebTextFetch(QObject* parent = nullptr);
    void fetch(const QUrl& url, std::function<void(const Result&)> done);
    static QString appendChunk(const QString& text, const QByteArray& chunk);

private:
    QNetworkAccessManager m_net;
};

// The once-per-run check for a different published version (timer "Atualizador", 10 s).
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    explicit UpdateCheck(QObject* parent = nullptr);

    // Compiled-in vendor address, overridable with VESTRAL_UPDATE_URL.
    static QString baseUrl();
    static QUrl updateFileUrl();
    static QUrl downloadPageUrl();

    QTimer* timer() { return &m_timer; }
    void setVersion(const QString& v) { m_version = v; }
    void setOnlineProbe(std::function<bool()> probe) { m_online = std::move(probe); }
    void run();

Q_SIGNALS:
    void newVersionOffered(const QString& fetchedText); // the window asks the operator
    void finished(bool willRetry);

private:
    QTimer m_timer;
    WebTextFetch m_fetch;
    QString m_version;
    std::function<bool()> m_online;
};
