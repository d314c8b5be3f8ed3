#pragma once

// A data folder with an open data module, N simulated modems linked as portas/COM1..N, slots
// 1..N active on COM1..N, and the modem station (slots, logs, coordinator, configurator).
#include "ModemSimulator.h"
#include "TempDataDir.h"
#include "WaitUntil.h"
#include "modem/ComMapping.h"
#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemStation.h"
#include "sms/ResponseCoordinator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <functional>
#include <memory>
#include <stdexcept>

struct ModemTestRig {
    TempDataDir data;
    std::unique_ptr<modemsim::ModemSimulator> sim;
    std::unique_ptr<ModemStation> station;

    explicit ModemTestRig(std::vector<modemsim::PortConfig> ports,
                          StoreLocation::Kind store = StoreLocation::Kind::Sqlite) {
        if (!data.start(store).ok)
            throw std::runtime_error("data module did not start");
        init(std::move(ports));
    }
    // On the database `where` names (a test that stops and starts its server).
    ModemTestRig(std::vector<modemsim::PortConfig> ports, const StoreLocation& where) {
        if (!data.start(where).ok)
            throw std::runtime_error("data module did not start");
        init(std::move(ports));
    }
    void init(std::vector<modemsim::PortConfig> ports) {
        ComMapping::setDataDir(data.path());
        modemsim::SimulatorOptions options;
        options.dir = QString(data.path() + QStringLiteral("/portas")).toStdString();
        options.ports = std::move(ports);
        sim = std::make_unique<modemsim::ModemSimulator>(options);
        sim->start();
        for (int n = 1; n <= sim->portCount(); ++n)
            exec(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = %1 WHERE ID = %1").arg(n));
        station = std::make_unique<ModemStation>(data.ado.get());
        // A bound far above a simulated modem's reply time; the probe ends at the last reply.
        station->configurator()->setTiming({kProbeBound, kProbeBound});
    }
    static constexpr quint32 kProbeBound = 5000;
    ~ModemTestRig() {
        station.reset();
        sim->stop();
        ComMapping::setDataDir(QString());
    }

    TADO* ado() const { return data.ado.get(); }
    PortConfigurator* configurator() const { return station->configurator(); }
    PortSlot* slot(int n) const { return station->portSlots()->slot(n); }

    void exec(const QString& sql) const {
        QSqlQuery q(data.ado->database());
        if (!q.exec(sql))
            throw std::runtime_error(sql.toStdString());
    }
    QList<QList<int>> activeList() const {
        QList<QList<int>> rows;
        QSqlQuery q(data.ado->database());
        q.exec(QStringLiteral("SELECT ENTRADA, QTD FROM dbPORTA_ATIVA ORDER BY ENTRADA"));
        while (q.next())
            rows.append({q.value(0).toInt(), q.value(1).toInt()});
        return rows;
    }
    static bool waitUntil(const std::function<bool()>& condition) { return ::waitUntil(condition); }
};
