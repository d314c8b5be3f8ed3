#include "store/SqlFunctions.h"

#include <QSqlDriver>
#include <QVariant>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace SqlFunctions {
namespace {

// Compares folded UTF-32 sequences with an iterative backtracking matcher (no recursion depth issues).
bool matchFolded(std::u32string_view p, std::u32string_view t, char32_t esc) {
    size_t pi = 0, ti = 0, starT = 0;
    bool star = false;
    size_t starP = 0;
    while (ti < t.size()) {
        if (pi < p.size()) {
            const char32_t c = p[pi];
            if (esc && c == esc && pi + 1 < p.size()) {
                if (p[pi + 1] == t[ti]) {
                    pi += 2;
                    ++ti;
                    continue;
                }
            } else if (c == U'%') {
                star = true;
                starP = pi++;
                starT = ti;
                continue;
            } else if (c == U'_' || c == t[ti]) {
                ++pi;
                ++ti;
                continue;
            }
        }
        if (!star)
            return false;
        pi = starP + 1;
        ti = ++starT;
    }
    while (pi < p.size() && p[pi] == U'%')
        ++pi;
    return pi == p.size();
}

// Folds UTF-8 text into out: ASCII letters directly (the common case, no allocation), anything
// else through Qt's Unicode case folding.
void foldUtf8(const char* bytes, int size, std::u32string& out) {
    out.clear();
    bool ascii = true;
    for (int i = 0; i < size && ascii; ++i)
        ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
    if (ascii) {
        out.resize(size_t(size));
        for (int i = 0; i < size; ++i) {
            char c = bytes[i];
            out[size_t(i)] = char32_t(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return;
    }
    const QList<uint> ucs = QString::fromUtf8(bytes, size).toCaseFolded().toUcs4();
    out.assign(ucs.cbegin(), ucs.cend());
}

void foldValue(sqlite3_value* v, std::u32string& out) {
    auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(v));
    foldUtf8(bytes, sqlite3_value_bytes(v), out);
}

// A pattern folded once per statement. "%text%" over ASCII (the search boxes' case) is kept as
// lower-case bytes too, so a row is a plain substring search with no conversion at all.
struct Pattern {
    std::u32string folded;
    bool containsOnly = false;
    std::string literal; // lower-case ASCII, wildcards and escapes resolved
};

Pattern* makePattern(sqlite3_value* v, char32_t esc) {
    auto* p = new Pattern;
    foldValue(v, p->folded);
    const std::u32string& f = p->folded;
    if (f.size() < 2 || f.front() != U'%' || f.back() != U'%')
        return p;
    std::string lit;
    for (size_t i = 1; i + 1 < f.size(); ++i) {
        char32_t c = f[i];
        if (esc && c == esc && i + 2 < f.size())
            c = f[++i];
        else if (c == U'%' || c == U'_' || c == esc)
            return p;
        if (c >= 0x80)
            return p;
        lit += char(c);
    }
    p->containsOnly = true;
    p->literal = std::move(lit);
    return p;
}

void deletePattern(void* p) {
    delete static_cast<Pattern*>(p);
}

// Case-insensitive substring search over ASCII bytes; nullopt when the text is not ASCII.
std::optional<bool> asciiContains(const char* text, int size, const std::string& lowerNeedle) {
    for (int i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return std::nullopt;
    const int n = int(lowerNeedle.size());
    for (int i = 0; i + n <= size; ++i) {
        int k = 0;
        while (k < n) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (c != lowerNeedle[size_t(k)])
                break;
            ++k;
        }
        if (k == n)
            return true;
    }
    return false;
}

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    char32_t esc = 0;
    if (argc == 3) {
        std::u32string e;
        foldValue(argv[2], e);
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        esc = e[0];
    }
    // like(X, Y) implements "Y LIKE X". The folded pattern is kept for the rows that follow.
    auto* pattern = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
    std::unique_ptr<Pattern> once;
    if (!pattern) {
        sqlite3_set_auxdata(ctx, 0, makePattern(argv[0], esc), deletePattern);
        pattern = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) { // SQLite could not keep it: this row only
            once.reset(makePattern(argv[0], esc));
            pattern = once.get();
        }
    }
    if (pattern->containsOnly) {
        auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
        if (auto hit = asciiContains(bytes, sqlite3_value_bytes(argv[1]), pattern->literal)) {
            sqlite3_result_int(ctx, *hit ? 1 : 0);
            return;
        }
    }
    thread_local std::u32string text;
    foldValue(argv[1], text);
    sqlite3_result_int(ctx, matchFolded(pattern->folded, text, esc) ? 1 : 0);
}

} // namespace

bool likeMatch(const QString& pattern, const QString& text, QChar escape) {
    std::u32string p, t, e;
    const QByteArray pu = pattern.toUtf8(), tu = text.toUtf8(), eu = QString(escape).toUtf8();
    foldUtf8(pu.constData(), int(pu.size()), p);
    foldUtf8(tu.constData(), int(tu.size()), t);
    foldUtf8(eu.constData(), int(eu.size()), e);
    return matchFolded(p, t, escape.isNull() || e.empty() ? 0 : e[0]);
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
