// Writes the modem manual PDF into a folder at build time, for the installed documentation.
#include <QGuiApplication>
#include <cstdio>

#include "modem/ModemManual.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "uso: vestral-write-manual PASTA\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QString error;
    if (ModemManual::ensure(QString::fromLocal8Bit(argv[1]), &error).isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
