// The message area gives back exactly what was written, whatever the characters, and
// takes the user's edits into that text at the right places, in the editor and in the view.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <random>

#include "desktop/qt/MessageArea.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/MessageText.h"
#include "desktop/qt/MessageView.h"
#include "desktop/qt/Text.h"

using tavorin::FromShown;
using tavorin::MessageEdit;
using tavorin::PasswordManagerHint;
using tavorin::ShownText;
using tavorin::ToQString;
using tavorin::ToU16;
using Area = tavorin::MessageArea;

namespace {

// Every character the code page gives for a byte, and the ones the document treats as its own.
std::u16string Awkward() {
    std::u16string text;
    for (char16_t c = 0; c < 256; ++c) {
        text.push_back(c);
    }
    text += u"\r\n\r\rx\n\n\u2028\u2029\ufffc\ufdd0\ufdd1\u20ac\u0160\u2022 end";
    return text;
}

class MessageArea : public ::testing::Test {
protected:
    Area area;
    MessageEdit& edit = area.Editor();

    void SetUp() override {
        area.resize(465, 241);
        area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
        area.setFocus();
    }

    // A second area of the same size that shows any text it can in the view.
    void ShowView(Area& view) {
        view.SetViewThreshold(0);
        view.resize(area.size());
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void PlaceCursor(int position) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(position);
        edit.setTextCursor(cursor);
    }

    void Select(int from, int to) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    }
};

}  // namespace

TEST_F(MessageArea, ReadsBackEveryCharacterAsWritten) {
    const std::u16string text = Awkward();
    area.SetText(text);
    EXPECT_EQ(area.Text(), text);
    // One shown character for each character: positions in the control are positions in the text.
    EXPECT_EQ(edit.document()->characterCount() - 1, static_cast<int>(text.size()));
    EXPECT_EQ(FromShown(ShownText(u"a\r\nb\x01\x7f\t\n")), u"a\r\nb\x01\x7f\t\n");
}

TEST_F(MessageArea, TypedCharactersLandExactlyWhereTheyAreTyped) {
    const std::u16string text = Awkward();
    area.SetText(text);
    PlaceCursor(5);
    QTest::keyClicks(&area.Shown(), QStringLiteral("AB"));
    std::u16string expected = text;
    expected.insert(5, u"AB");
    EXPECT_EQ(area.Text(), expected);

    // Enter is a line feed; Backspace removes one character, whatever it was.
    PlaceCursor(static_cast<int>(expected.size()));
    QTest::keyClick(&area.Shown(), Qt::Key_Return);
    expected += u"\n";
    EXPECT_EQ(area.Text(), expected);
    PlaceCursor(14);
    QTest::keyClick(&area.Shown(), Qt::Key_Backspace);
    expected.erase(13, 1);
    EXPECT_EQ(area.Text(), expected);

    // Undo and redo go through the same path.
    edit.undo();
    edit.undo();
    std::u16string undone = text;
    undone.insert(5, u"AB");
    EXPECT_EQ(area.Text(), undone);
    edit.redo();
    EXPECT_EQ(area.Text(), undone + u"\n");

    // Replacing a selection across control characters.
    Select(0, 40);
    QTest::keyClicks(&area.Shown(), QStringLiteral("Z"));
    EXPECT_EQ(area.Text(), u"Z" + (undone + u"\n").substr(40));
}

TEST_F(MessageArea, CopyAndPasteCarryTheExactText) {
    const std::u16string text = u"one\r\ntwo\x01three\rfour";
    area.SetText(text);
    Select(2, 15);
    area.SetSecret(true);
    edit.copy();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(ToU16(copied->text()), text.substr(2, 13));
    EXPECT_EQ(copied->data(QString::fromLatin1(PasswordManagerHint)), QByteArray("secret"));

    PlaceCursor(static_cast<int>(text.size()));
    edit.paste();
    EXPECT_EQ(area.Text(), text + text.substr(2, 13));
    EXPECT_EQ(edit.document()->characterCount() - 1, static_cast<int>(area.Text().size()));

    area.SetSecret(false);
    Select(0, 3);
    edit.copy();
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat(QString::fromLatin1(PasswordManagerHint)));

    // A clipboard without text (a picture, or emptied) pastes nothing, not even over the selection.
    for (const bool emptied : {true, false}) {
        emptied ? QGuiApplication::clipboard()->clear() : QGuiApplication::clipboard()->setMimeData(new QMimeData);
        edit.paste();
    }
    EXPECT_EQ(area.Text(), text + text.substr(2, 13));
    EXPECT_TRUE(edit.textCursor().hasSelection());
}

TEST_F(MessageArea, HeldWritesShowOnceOnRelease) {
    int changes = 0;
    QObject::connect(&area, &Area::TextChanged, [&] { ++changes; });
    area.SetText(u"before");
    area.HoldDisplay(true);
    area.SetText(u"");
    area.SetText(u"during");
    EXPECT_EQ(area.Text(), u"during");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("before"));
    EXPECT_EQ(changes, 3);
    area.HoldDisplay(false);
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("during"));
}

TEST_F(MessageArea, AnEnvelopeOnOneLineIsShownInBlocksOfWholeWrappedLines) {
    // 20000 pairs: one line of 59999 characters.
    std::u16string envelope;
    const char16_t digits[] = u"0123456789ABCDEF";
    for (int i = 0; i < 20000; ++i) {
        if (i != 0) {
            envelope += u' ';
        }
        envelope += digits[(i * 7) % 16];
        envelope += digits[(i * 11) % 16];
    }
    area.SetText(envelope);
    EXPECT_EQ(area.Text(), envelope);
    const QTextDocument* document = edit.document();
    ASSERT_GT(document->blockCount(), 2);
    // Every block but the last fills exactly its share of wrapped lines, so the breaks
    // between blocks look like the wrapping around them.
    int checked = 0;
    for (QTextBlock block = document->firstBlock(); block.isValid() && block.next().isValid(); block = block.next()) {
        document->documentLayout()->blockBoundingRect(block);
        ASSERT_EQ(block.layout()->lineCount(), MessageEdit::LinesPerBlock) << "block " << block.blockNumber();
        if (++checked == 5) {
            break;
        }
    }

    // Edits across a block boundary keep the separator that was there.
    const int boundary = document->firstBlock().length() - 1;
    Select(boundary - 2, boundary + 3);
    QTest::keyClicks(&area.Shown(), QStringLiteral("ZZ"));
    std::u16string expected = envelope;
    expected.replace(static_cast<std::size_t>(boundary - 2), 5, u"ZZ");
    EXPECT_EQ(area.Text(), expected);

    // A large paste is shown in blocks too, and read back exactly.
    QGuiApplication::clipboard()->setText(ToQString(envelope));
    edit.selectAll();
    edit.paste();
    EXPECT_EQ(area.Text(), envelope);
    EXPECT_GT(edit.document()->blockCount(), 2);
}

TEST_F(MessageArea, ShortLinesShareBlocksAndReadBackAsLines) {
    std::u16string text;
    for (int i = 0; i < 2000; ++i) {
        text += u"line " + ToU16(QString::number(i)) + u"\n";
    }
    area.SetText(text);
    EXPECT_LT(edit.document()->blockCount(), 2000 / 8);
    EXPECT_EQ(area.Text(), text);
    // A line break typed over one that shares a block is a line break in the text.
    Select(3, 10);
    QTest::keyClick(&area.Shown(), Qt::Key_Return);
    EXPECT_EQ(area.Text(), text.replace(3, 7, u"\n"));
}

TEST(ShownText, LongLinesWithoutSpacesAreLeftWhole) {
    const std::u16string word(10000, u'x');
    const QString shown = ShownText(word, 60, 4, 4096);
    EXPECT_FALSE(shown.contains(QChar::ParagraphSeparator));
    // Short lines are never split, long ones only at spaces.
    const std::u16string shortLine = u"aa bb cc dd";
    EXPECT_EQ(ShownText(shortLine, 2, 1, 4096), ToQString(shortLine));
    const QString split = ShownText(shortLine, 5, 1, 4);
    EXPECT_EQ(split.size(), static_cast<qsizetype>(shortLine.size()));
    EXPECT_EQ(FromShown(split).size(), shortLine.size());
    EXPECT_EQ(split, QStringLiteral("aa bb\u2029cc dd"));
}

namespace {

// Prose with the punctuation that has line-breaking rules of its own, long lines, trailing
// spaces, an empty line and a word longer than a row.
std::u16string Prose() {
    std::u16string text;
    for (int i = 0; i < 12; ++i) {
        text += u"e.g. (see: a/b) -- it's \"quoted\"; 3.14, 1,000 and x-y! [ok] {no} 50% $5 #" +
                ToU16(QString::number(i)) + u" ?why  \n";
        text += u"Meet me at the old mill at ten; bring the papers and 42 coins.   \n\n";
    }
    text += std::u16string(150, u'w') + u" end";
    return text;
}

}  // namespace

TEST_F(MessageArea, TheViewLooksLikeTheEditor) {
    // The same text in the editor and in the view, unfocused, at the same size and scroll:
    // every pixel agrees, selection included.
    Area view;
    ShowView(view);
    const std::u16string text = Prose();
    area.SetText(text);
    view.SetText(text);
    edit.clearFocus();
    view.Shown().clearFocus();  // its window is the active one
    ASSERT_TRUE(view.Viewing());
    ASSERT_FALSE(area.Viewing());
    EXPECT_EQ(view.grab().toImage(), area.grab().toImage());

    // Across the wrap of the first line; at line ends the editor's blocks draw their own marks.
    Select(20, 70);
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(&view.Shown(), Qt::Key_Right);
    }
    for (int i = 0; i < 50; ++i) {
        QTest::keyClick(&view.Shown(), Qt::Key_Right, Qt::ShiftModifier);
    }
    EXPECT_EQ(view.grab().toImage(), area.grab().toImage());
}

TEST_F(MessageArea, TheViewMovesSelectsCopiesAndHandsOverAsTheEditor) {
    // The same keys and clicks in the editor and in the view: the same copies, and the first
    // edit lands at the same place, after which the view is an editor too.
    Area view;
    ShowView(view);
    const std::u16string text = Prose() + u" tail\r\n";
    using Keys = std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
    const Keys moves = {{Qt::Key_Down, {}},
                        {Qt::Key_Down, {}},
                        {Qt::Key_End, {}},
                        {Qt::Key_Left, {}},
                        {Qt::Key_Right, Qt::ControlModifier},
                        {Qt::Key_Down, Qt::ShiftModifier},
                        {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier},
                        {Qt::Key_End, Qt::ShiftModifier},
                        {Qt::Key_PageDown, Qt::ShiftModifier},
                        {Qt::Key_PageDown, {}},
                        {Qt::Key_Up, Qt::ShiftModifier},
                        {Qt::Key_PageUp, Qt::ShiftModifier},
                        {Qt::Key_Home, Qt::ControlModifier},
                        {Qt::Key_Up, Qt::ShiftModifier},
                        {Qt::Key_End, Qt::ControlModifier},
                        {Qt::Key_Down, Qt::ShiftModifier},
                        {Qt::Key_Up, Qt::ShiftModifier},
                        {Qt::Key_Right, {}},
                        {Qt::Key_Left, Qt::ShiftModifier},
                        {Qt::Key_Home, Qt::ControlModifier}};
    for (Area* each : {&area, &view}) {
        each->SetText(text);
        each->SetSecret(true);
    }
    ASSERT_TRUE(view.Viewing());
    std::vector<std::u16string> copies[2];
    for (int i = 0; i < 2; ++i) {
        Area& each = i == 0 ? area : view;
        for (const auto& [key, modifiers] : moves) {
            QTest::keyClick(&each.Shown(), key, modifiers);
            QGuiApplication::clipboard()->clear();
            QTest::keyClick(&each.Shown(), Qt::Key_C, Qt::ControlModifier);
            copies[i].push_back(ToU16(QGuiApplication::clipboard()->text()));
        }
        // A drag from the middle of one row to another, and a word.
        const QPoint from(60, 20);
        const QPoint to(200, 60);
        QTest::mousePress(each.Shown().viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(each.Shown().viewport(), to);
        QTest::mouseRelease(each.Shown().viewport(), Qt::LeftButton, {}, to);
        QTest::keyClick(&each.Shown(), Qt::Key_C, Qt::ControlModifier);
        copies[i].push_back(ToU16(QGuiApplication::clipboard()->text()));
        EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QString::fromLatin1(PasswordManagerHint)), "secret");
        QTest::mouseDClick(each.Shown().viewport(), Qt::LeftButton, {}, to);
        QTest::keyClick(&each.Shown(), Qt::Key_C, Qt::ControlModifier);
        copies[i].push_back(ToU16(QGuiApplication::clipboard()->text()));
        QTest::keyClicks(&each.Shown(), QStringLiteral("X"));
        // After the CR of the last line: the CR goes.
        QTest::keyClick(&each.Shown(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(&each.Shown(), Qt::Key_Up);
        QTest::keyClick(&each.Shown(), Qt::Key_End);
        QTest::keyClick(&each.Shown(), Qt::Key_Backspace);
    }
    EXPECT_EQ(copies[1], copies[0]);
    EXPECT_FALSE(view.Viewing());
    EXPECT_EQ(view.Text(), area.Text());
    EXPECT_EQ(view.Text().find(u'\r'), std::u16string::npos);
    EXPECT_EQ(view.Editor().document()->characterCount() - 1, static_cast<int>(view.Text().size()));
}

TEST_F(MessageArea, TheViewWrapsPrintableAsciiAsTheEditor) {
    // Words of every printable character, lines short and long: the rows begin where the
    // editor's lines begin.
    std::u16string text;
    std::mt19937 rng(7);
    const auto next = [&rng](std::uint32_t below) { return static_cast<std::uint32_t>(rng() % below); };
    while (text.size() < 30000) {
        const std::uint32_t kind = next(40);
        if (kind == 0) {
            text += u'\n';
        } else if (kind < 8) {
            text.append(1 + next(3), u' ');
        } else {
            const std::uint32_t length = kind == 8 ? 70 + next(60) : 1 + next(9);
            for (std::uint32_t i = 0; i < length; ++i) {
                text += static_cast<char16_t>(next(4) == 0 ? u'!' + next(94) : u'a' + next(26));
            }
        }
    }
    Area view;
    ShowView(view);
    area.SetText(text);
    view.SetText(text);
    ASSERT_TRUE(view.Viewing());
    std::vector<std::size_t> lines;
    for (QTextBlock block = edit.document()->firstBlock(); block.isValid(); block = block.next()) {
        edit.document()->documentLayout()->blockBoundingRect(block);
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            lines.push_back(static_cast<std::size_t>(block.position() + block.layout()->lineAt(i).textStart()));
        }
    }
    EXPECT_EQ(view.ViewRows(), lines);
}

TEST_F(MessageArea, AHeldWriteLeavesTheViewAsItWasUntilShown) {
    // The view paints from the text: while a write is held, the rows it knows are those of the
    // text before, far past the end of the new one. It shows what it showed and takes no input.
    area.SetViewThreshold(0);
    area.SetText(Prose() + Prose() + Prose());
    ASSERT_TRUE(area.Viewing());
    area.Shown().verticalScrollBar()->setValue(area.Shown().verticalScrollBar()->maximum());
    const QImage before = area.Shown().viewport()->grab().toImage();
    area.HoldDisplay(true);
    area.SetText(u"short");
    EXPECT_EQ(area.Shown().viewport()->grab().toImage(), before);
    QTest::mouseClick(area.Shown().viewport(), Qt::LeftButton, {}, QPoint(60, 200));
    QTest::keyClick(&area.Shown(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&area.Shown(), Qt::Key_C, Qt::ControlModifier);
    area.HoldDisplay(false);
    EXPECT_EQ(area.Text(), u"short");
    EXPECT_EQ(area.ViewRows(), std::vector<std::size_t>{0});
}

TEST_F(MessageArea, AssistiveTechnologyReadsTheTextAndSelectionOfTheView) {
    area.SetViewThreshold(0);
    const std::u16string text = u"one two\r\nthree";
    area.SetText(text);
    ASSERT_TRUE(area.Viewing());
    QTest::keyClick(&area.Shown(), Qt::Key_End, Qt::ShiftModifier);
    QAccessibleTextInterface* read = QAccessible::queryAccessibleInterface(&area)->textInterface();
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ToU16(read->text(0, read->characterCount())), text);
    int from = -1;
    int to = -1;
    read->selection(0, &from, &to);
    EXPECT_EQ(ToU16(read->text(from, to)), u"one two\r");
    EXPECT_EQ(read->offsetAtPoint(read->characterRect(11).center()), 11);
}

TEST_F(MessageArea, TheViewWrapsAFullLastRowWhoseLetterReachesPastTheEdge) {
    // A last line as long as a row, ending in a letter wider than its advance: the editor
    // breaks it before that letter, and the view reads nothing past the text to find that.
    Area view;
    ShowView(view);
    for (const char16_t last : {u'w', u'0'}) {
        std::u16string text(static_cast<std::size_t>(edit.CharsPerLine()) - 1, u'x');
        text += last;
        area.SetText(text);
        view.SetText(text);
        std::vector<std::size_t> lines;
        const QTextBlock block = edit.document()->firstBlock();
        edit.document()->documentLayout()->blockBoundingRect(block);
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            lines.push_back(static_cast<std::size_t>(block.layout()->lineAt(i).textStart()));
        }
        EXPECT_EQ(view.ViewRows(), lines) << static_cast<char>(last);
    }
}
