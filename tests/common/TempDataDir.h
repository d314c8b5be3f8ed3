#pragma once

#include <QTemporaryDir>
#include <memory>

#include "store/TADO.h"

// A fresh data folder with an open data module, for tests that need the database.
struct TempDataDir {
    QTemporaryDir dir;
    std::unique_ptr<TADO> ado;

    // On the data folder's SQLite file, or on the database `where` names.
    TADO::StartResult start(const StoreLocation& where = {}) {
        ado = std::make_unique<TADO>();
        ado->setStore(where);
        return ado->start(dir.path());
    }
    QString path() const { return dir.path(); }
};
