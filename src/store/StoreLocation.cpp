#include "store/StoreLocation.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

const char* const StoreLocation::kPasswordInUrl = "A senha do banco não pode ir na URL: use ~/.pgpass ou PGPASSWORD.";
const char* const StoreLocation::kSettingsFile = "vestral.conf";

namespace {
QMutex g_mutex;
StoreLocation g_current;

const char* const kUsage = "use postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO";

// The libpq keywords a URL may carry. The password is not among them, nor the keywords the URL's
// own parts set (host, port, user, dbname): one place for each.
const QStringList& allowedOptions() {
    static const QStringList keys{"sslmode",
                                  "sslrootcert",
                                  "sslcert",
                                  "sslkey",
                                  "sslcrl",
                                  "sslcompression",
                                  "sslsni",
                                  "connect_timeout",
                                  "application_name",
                                  "options",
                                  "service",
                                  "passfile",
                                  "target_session_attrs",
                                  "keepalives",
                                  "keepalives_idle",
                                  "keepalives_interval",
                                  "keepalives_count",
                                  "tcp_user_timeout",
                                  "gssencmode",
                                  "channel_binding",
                                  "requiressl",
                                  "require_auth",
                                  "hostaddr",
                                  "client_encoding",
                                  "load_balance_hosts"};
    return keys;
}

// A value as libpq's keyword=value syntax takes it: quoted, with \ and ' escaped.
QString quoted(const QString& value) {
    QString v = value;
    v.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return QStringLiteral("'%1'").arg(v);
}

bool hasControl(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// The user-info part of the URL as typed (before any decoding): "user:pw" in "postgresql://user:pw@host".
QString rawUserInfo(const QString& url) {
    const qsizetype start = url.indexOf(QStringLiteral("://"));
    if (start < 0)
        return {};
    QString authority = url.mid(start + 3);
    const qsizetype end = authority.indexOf(QRegularExpression(QStringLiteral("[/?#]")));
    if (end >= 0)
        authority.truncate(end);
    const qsizetype at = authority.lastIndexOf(u'@');
    return at < 0 ? QString() : authority.left(at);
}
} // namespace

QString StoreLocation::hostPort() const {
    const QString h = host.isEmpty() ? QStringLiteral("localhost") : host;
    return (h.contains(u':') ? QStringLiteral("[%1]").arg(h) : h) + QStringLiteral(":%1").arg(port);
}

QString StoreLocation::shown() const {
    if (!isPostgres())
        return QStringLiteral("BDSMS.db");
    QString s = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        s += user + u'@';
    return s + hostPort() + u'/' + database;
}

QString StoreLocation::connectOptions() const {
    return options.join(u';');
}

StoreLocation StoreLocation::parse(const QString& url, QString* error) {
    error->clear();
    StoreLocation loc;
    const QString scheme = url.section(QStringLiteral("://"), 0, 0).toLower();
    if (!url.contains(QStringLiteral("://")) || (scheme != "postgresql" && scheme != "postgres")) {
        *error = QStringLiteral("Endereço do banco não reconhecido (%1).").arg(QString::fromUtf8(kUsage));
        return loc;
    }
    if (rawUserInfo(url).contains(u':')) {
        *error = QString::fromUtf8(kPasswordInUrl);
        return loc;
    }
    const QUrl u(url, QUrl::StrictMode);
    const QUrlQuery query(u);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key.compare(QStringLiteral("password"), Qt::CaseInsensitive) == 0) {
            *error = QString::fromUtf8(kPasswordInUrl);
            return loc;
        }
    }
    if (!u.isValid() || hasControl(url)) {
        *error = QStringLiteral("Endereço do banco inválido (%1).").arg(QString::fromUtf8(kUsage));
        return loc;
    }
    loc.kind = Kind::Postgres;
    loc.host = u.host(QUrl::FullyDecoded);
    loc.port = u.port(5432);
    if (loc.port <= 0 || loc.port > 65535) {
        *error = QStringLiteral("Porta do banco inválida (%1).").arg(QString::fromUtf8(kUsage));
        return {};
    }
    loc.user = u.userName(QUrl::FullyDecoded);
    loc.database = u.path(QUrl::FullyDecoded).mid(1);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!allowedOptions().contains(key) || value.contains(u';')) {
            *error = QStringLiteral("Opção do banco não aceita na URL: %1").arg(key);
            return {};
        }
        loc.options << key + u'=' + quoted(value);
    }
    return loc;
}

QString StoreLocation::settingsUrl(const QString& settingsText) {
    QString url;
    for (const QString& line : settingsText.split(u'\n')) {
        const QString l = line.trimmed();
        if (l.startsWith(u'#') || !l.contains(u'='))
            continue;
        if (l.section(u'=', 0, 0).trimmed() == QStringLiteral("banco"))
            url = l.section(u'=', 1).trimmed(); // the last line wins, as in every settings file
    }
    return url;
}

StoreLocation StoreLocation::choose(const QString& option, const QString& environment, const QString& dataDir,
                                    QString* error) {
    error->clear();
    if (!option.isEmpty())
        return parse(option, error);
    if (!environment.isEmpty())
        return parse(environment, error);
    QFile settings(QDir(dataDir).filePath(QString::fromLatin1(kSettingsFile)));
    if (dataDir.isEmpty() || !settings.open(QIODevice::ReadOnly))
        return {};
    const QString url = settingsUrl(QString::fromUtf8(settings.read(64 * 1024)));
    if (url.isEmpty())
        return {};
    StoreLocation loc = parse(url, error);
    if (!error->isEmpty())
        *error = QStringLiteral("%1 (%2)").arg(*error, settings.fileName());
    return loc;
}

void StoreLocation::setCurrent(const StoreLocation& location) {
    QMutexLocker lock(&g_mutex);
    g_current = location;
}

StoreLocation StoreLocation::current() {
    QMutexLocker lock(&g_mutex);
    return g_current;
}
