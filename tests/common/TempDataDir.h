#pragma once

#include <QTemporaryDir>
#include <memory>

#include "store/TADO.h"

// A fresh data folder with an open data module, for tests that need the database.
struct TempDataDir {
    QTemporaryDir dir;
    std::unique_ptr<TADO> ado;

    TADO::StartResult start() {
        ado = std::make_unique<TADO>();
        return ado->start(dir.path());
    }
    QString path() const { return dir.path(); }
};
