#include "store/SqlFunctions.h"

#include <QSqlDriver>
#include <QVariant>
#include <sqlite3.h>

namespace SqlFunctions {
namespace {

// Compares folded UTF-32 sequences with an iterative backtracking matcher (no recursion depth issues).
bool matchFolded(const QList<uint>& p, const QList<uint>& t, uint esc) {
    qsizetype pi = 0, ti = 0, starP = -1, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size()) {
            uint c = p[pi];
            if (esc && c == esc && pi + 1 < p.size()) {
                if (p[pi + 1] == t[ti]) {
                    pi += 2;
                    ++ti;
                    continue;
                }
            } else if (c == '%') {
                starP = pi++;
                starT = ti;
                continue;
            } else if (c == '_' || c == t[ti]) {
                ++pi;
                ++ti;
                continue;
            }
        }
        if (starP < 0)
            return false;
        pi = starP + 1;
        ti = ++starT;
    }
    while (pi < p.size() && p[pi] == '%')
        ++pi;
    return pi == p.size();
}

QString textArg(sqlite3_value* v) {
    auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return QString::fromUtf8(bytes, sqlite3_value_bytes(v));
}

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    QChar esc;
    if (argc == 3) {
        QString e = textArg(argv[2]);
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        esc = e[0];
    }
    // like(X, Y) implements "Y LIKE X".
    sqlite3_result_int(ctx, likeMatch(textArg(argv[0]), textArg(argv[1]), esc) ? 1 : 0);
}

} // namespace

bool likeMatch(const QString& pattern, const QString& text, QChar escape) {
    QList<uint> p = pattern.toCaseFolded().toUcs4();
    QList<uint> t = text.toCaseFolded().toUcs4();
    uint esc = escape.isNull() ? 0 : QString(escape).toCaseFolded().toUcs4().value(0);
    return matchFolded(p, t, esc);
}

QString escapeLike(const QString& text, QChar escape) {
    QString out;
    out.reserve(text.size() + 4);
    for (QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == escape)
            out += escape;
        out += c;
    }
    return out;
}

bool installUnicodeLike(const QSqlDatabase& db) {
    QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* handle = *static_cast<sqlite3* const*>(v.constData());
    if (!handle)
        return false;
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function(handle, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function(handle, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr) == SQLITE_OK;
}

} // namespace SqlFunctions
