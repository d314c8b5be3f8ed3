// The page tabs above the main window's pages: every caption readable, and no row more than the captions need.
#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMap>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "widgets/TabRows.h"

namespace {

const QStringList kCaptions{"Enviar SMS",
                            "Enviar EMAIL",
                            "Configuração Modem",
                            "Debug Modem",
                            "Configuração do Sistema",
                            "Cadastro de Contatos",
                            "Cadastro de Grupos",
                            "Histórico de Envio",
                            "Estações",
                            "Sobre",
                            "Manual"};

TEST(TabRows, CaptionsFitAndNoRowIsWastedWhateverTheWidth) {
    QApplication::setStyle("Fusion");
    struct Case {
        int width;
        int captions;
    };
    for (const Case c : {Case{1025, 11}, Case{1025, 10}, Case{1600, 11}, Case{700, 11}, Case{400, 11}, Case{2400, 11},
                         Case{1025, 1}}) {
        SCOPED_TRACE(QStringLiteral("%1 px, %2 tabs").arg(c.width).arg(c.captions).toStdString());
        QTabWidget pages;
        for (int i = 0; i < c.captions; ++i)
            pages.addTab(new QWidget, kCaptions[i]);
        TabRows rows(&pages, 200);
        rows.resize(c.width, 24);
        rows.rebuild();
        QFont bold = rows.font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        const QList<QAbstractButton*> buttons = rows.findChildren<QAbstractButton*>();
        ASSERT_EQ(buttons.size(), c.captions);
        for (const QAbstractButton* b : buttons) {
            EXPECT_GE(b->width(), metrics.horizontalAdvance(b->text()) + 8) << b->text().toStdString();
            EXPECT_LE(b->x() + b->width(), c.width) << b->text().toStdString();
        }
        // The fewest rows: tabs at their full width in a grid, or as wide as their captions, in order.
        const int perRow = qMax(1, c.width / 200);
        const int grid = (c.captions + perRow - 1) / perRow;
        int flow = 1;
        int used = 0;
        for (int i = 0; i < c.captions; ++i) {
            const int w = metrics.horizontalAdvance(kCaptions[i]) + 16;
            if (used > 0 && used + w > c.width) {
                ++flow;
                used = 0;
            }
            used += w;
        }
        EXPECT_EQ(rows.rowCount(), qMin(grid, flow));
        EXPECT_EQ(rows.height(), rows.rowCount() * 24);
        // Every row but a grid's last is filled to the width: no tab hangs past it, no gap is left.
        if (flow < grid) {
            QMap<int, int> rightEdge;
            for (const QAbstractButton* b : buttons)
                rightEdge[b->y()] = qMax(rightEdge[b->y()], b->x() + b->width());
            for (int edge : rightEdge)
                EXPECT_EQ(edge, c.width);
        }
    }
}

} // namespace
