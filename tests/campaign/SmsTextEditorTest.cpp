#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "campaign/SmsTextEditor.h"

namespace {

TEST(SmsTextEditor, TypingFollowsTheKeyFilterAndTheLimit) {
    SmsTextEditor editor;
    QLabel counter;
    editor.setCounter(&counter);
    QTest::keyClicks(&editor, "Ola [NOME]! a@b \"x\" _");
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("ç"));
    QApplication::sendEvent(&editor, &accented);
    EXPECT_EQ(editor.toPlainText(), "Ola [NOME]! ab x ");
    EXPECT_EQ(counter.text(), "Total Caracteres: 17");
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(editor.toPlainText(), "Ola [NOME]! ab x ");
    QTest::keyClick(&editor, Qt::Key_Backspace);
    EXPECT_EQ(counter.text(), "Total Caracteres: 16");

    editor.setPlainText(QString(159, 'a'));
    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, "bc");
    EXPECT_EQ(editor.toPlainText().size(), 160);
    EXPECT_TRUE(editor.toPlainText().endsWith("ab"));
    EXPECT_EQ(counter.text(), "Total Caracteres: 160");
    QTest::keyClick(&editor, '@'); // ignored: counter unchanged
    EXPECT_EQ(counter.text(), "Total Caracteres: 160");
}

} // namespace
