#pragma once

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>

#include "MissingPeer.h"
#include "PgServer.h"
#include "store/StoreLocation.h"
#include "store/TADO.h"

// A fresh data folder with an open data module, for tests that need the database.
struct TempDataDir {
    // The PostgreSQL database of the test's own when it runs on that store; dropped after the data module
    // closes (held by a shared pointer, so a test program that never runs on PostgreSQL links no server code).
    std::shared_ptr<PgDatabase> pg;
    QTemporaryDir dir;
    std::unique_ptr<TADO> ado;
    // Why the store asked for could not be had (no PostgreSQL server here); empty otherwise.
    QString missingPeer;

    // On the data folder's SQLite file, or on the database `where` names.
    TADO::StartResult start(const StoreLocation& where = {}) {
        ado = std::make_unique<TADO>();
        ado->setStore(where);
        return ado->start(dir.path());
    }
    // On the store of that kind: the data folder's SQLite file, or an empty PostgreSQL database of the
    // test's own on the test program's server.
    TADO::StartResult start(StoreLocation::Kind kind) {
        if (kind == StoreLocation::Kind::Sqlite)
            return start(StoreLocation{});
        pg = std::make_shared<PgDatabase>();
        if (!pg->ok()) {
            missingPeer = QStringLiteral("PostgreSQL: ") + pg->why;
            TADO::StartResult r;
            r.error = missingPeer;
            return r;
        }
        return start(pg->location());
    }
    QString path() const { return dir.path(); }
    bool onPostgres() const { return pg != nullptr; }
};

// Starts `data` on the store of `kind` in a fixture's SetUp or a test's body: a missing PostgreSQL server
// skips the test (fails it under CI=true), a data module that does not start fails it.
#define VESTRAL_START_STORE(data, kind)                                                                                \
    do {                                                                                                               \
        const TADO::StartResult started_ = (data).start(kind);                                                         \
        if (!(data).missingPeer.isEmpty())                                                                             \
            VESTRAL_SKIP_MISSING_PEER((data).missingPeer.toStdString());                                               \
        ASSERT_TRUE(started_.ok) << started_.error.toStdString();                                                      \
    } while (false)

// The two stores a test runs on, named in the test's name ("…/SQLite", "…/PostgreSQL"); the PostgreSQL
// instances also carry the CTest label pg_tests.
inline const auto kBothStores = ::testing::Values(StoreLocation::Kind::Sqlite, StoreLocation::Kind::Postgres);

inline void PrintTo(StoreLocation::Kind kind, std::ostream* os) {
    *os << (kind == StoreLocation::Kind::Postgres ? "PostgreSQL" : "SQLite");
}

inline std::string storeName(const ::testing::TestParamInfo<StoreLocation::Kind>& info) {
    return info.param == StoreLocation::Kind::Postgres ? "PostgreSQL" : "SQLite";
}

// A fixture built on a TempDataDir (whose SetUp starts it on storeKind()) run on both stores:
//   class FooTest : public OnBothStores<FooFixture> {};
//   TEST_P(FooTest, …) { … }
//   INSTANTIATE_TEST_SUITE_P(Store, FooTest, kBothStores, storeName);
template <class Fixture>
class OnBothStores : public Fixture, public ::testing::WithParamInterface<StoreLocation::Kind> {
protected:
    StoreLocation::Kind storeKind() const override { return GetParam(); }
};

// At the start of a test on both stores whose data folder is started later (by a rig): skips the test
// (fails it under CI=true) when the store of `kind` cannot be had here.
#define VESTRAL_REQUIRE_STORE(kind)                                                                                    \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if ((kind) == StoreLocation::Kind::Postgres && !PgServer::instance(&why_))                                     \
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << why_.toStdString());                                           \
    } while (false)

// A test run on both stores whose rig starts the data folder itself on GetParam():
//   class SendOnStore : public StoreParam {};
//   TEST_P(SendOnStore, …) { SmsBench bench; bench.store = GetParam(); … }
//   INSTANTIATE_TEST_SUITE_P(Store, SendOnStore, kBothStores, storeName);
class StoreParam : public ::testing::TestWithParam<StoreLocation::Kind> {
protected:
    void SetUp() override { VESTRAL_REQUIRE_STORE(GetParam()); }
};
