#pragma once

#include <QString>
#include <QTextStream>
#include <functional>

class TADO;

// The headless "--build-outbox [--group NAME] [--status all|active|disabled]": opens the ports
// (as "&Abrir todas as Portas"), loads the local recipient set, filters it as "Filtrar" does (no
// group = "TODOS"), marks every row and runs the outbox builder, printing its log lines and
// warnings. Exit status: 0 done, 1 an unknown group ("Grupo não encontrado: NAME",
// said before the ports are opened) or a data error, 2 no port ready. The outbox changes only when
// the build ends: a failure, a stop or a kill leaves it as it was.
namespace BuildOutboxCommand {

struct Request {
    QString group = QStringLiteral("TODOS");
    int status = 0; // TDM::Status: Todos, Ativado, Desativado
};

struct Ports {
    std::function<bool()> openAll;        // true when at least one slot is ready
    std::function<bool()> verificaPortas; // the re-probe the builder calls
};

int run(TADO* ado, const Ports& ports, const Request& request, QTextStream& out, QTextStream& err);

} // namespace BuildOutboxCommand
