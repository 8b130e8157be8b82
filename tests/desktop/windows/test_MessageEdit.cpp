// The message area gives back exactly what was written, whatever the characters, and
// takes the user's edits into that text at the right places.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include "desktop/windows/MessageEdit.h"
#include "desktop/windows/Text.h"

using namespace tavorin;

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
    MessageEdit edit;

    void SetUp() override {
        edit.resize(465, 241);
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
        edit.setFocus();
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
    edit.SetText(text);
    EXPECT_EQ(edit.Text(), text);
    // One shown character for each character: positions in the control are positions in the text.
    EXPECT_EQ(edit.document()->characterCount() - 1, static_cast<int>(text.size()));
    EXPECT_EQ(FromShown(ShownText(u"a\r\nb\x01\x7f\t\n")), u"a\r\nb\x01\x7f\t\n");
}

TEST_F(MessageArea, TypedCharactersLandExactlyWhereTheyAreTyped) {
    const std::u16string text = Awkward();
    edit.SetText(text);
    PlaceCursor(5);
    QTest::keyClicks(&edit, QStringLiteral("AB"));
    std::u16string expected = text;
    expected.insert(5, u"AB");
    EXPECT_EQ(edit.Text(), expected);

    // Enter is a line feed; Backspace removes one character, whatever it was.
    PlaceCursor(static_cast<int>(expected.size()));
    QTest::keyClick(&edit, Qt::Key_Return);
    expected += u"\n";
    EXPECT_EQ(edit.Text(), expected);
    PlaceCursor(14);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    expected.erase(13, 1);
    EXPECT_EQ(edit.Text(), expected);

    // Undo and redo go through the same path.
    edit.undo();
    edit.undo();
    std::u16string undone = text;
    undone.insert(5, u"AB");
    EXPECT_EQ(edit.Text(), undone);
    edit.redo();
    EXPECT_EQ(edit.Text(), undone + u"\n");

    // Replacing a selection across control characters.
    Select(0, 40);
    QTest::keyClicks(&edit, QStringLiteral("Z"));
    EXPECT_EQ(edit.Text(), u"Z" + (undone + u"\n").substr(40));
}

TEST_F(MessageArea, CopyAndPasteCarryTheExactText) {
    const std::u16string text = u"one\r\ntwo\x01three\rfour";
    edit.SetText(text);
    Select(2, 15);
    edit.SetSecret(true);
    edit.copy();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(ToU16(copied->text()), text.substr(2, 13));
    EXPECT_EQ(copied->data(QString::fromLatin1(PasswordManagerHint)), QByteArray("secret"));

    PlaceCursor(static_cast<int>(text.size()));
    edit.paste();
    EXPECT_EQ(edit.Text(), text + text.substr(2, 13));
    EXPECT_EQ(edit.document()->characterCount() - 1, static_cast<int>(edit.Text().size()));

    edit.SetSecret(false);
    Select(0, 3);
    edit.copy();
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat(QString::fromLatin1(PasswordManagerHint)));

    // A clipboard without text (a picture, or emptied) pastes nothing, not even over the selection.
    for (const bool emptied : {true, false}) {
        emptied ? QGuiApplication::clipboard()->clear() : QGuiApplication::clipboard()->setMimeData(new QMimeData);
        edit.paste();
    }
    EXPECT_EQ(edit.Text(), text + text.substr(2, 13));
    EXPECT_TRUE(edit.textCursor().hasSelection());
}

TEST_F(MessageArea, HeldWritesShowOnceOnRelease) {
    int changes = 0;
    QObject::connect(&edit, &MessageEdit::TextChanged, [&] { ++changes; });
    edit.SetText(u"before");
    edit.HoldDisplay(true);
    edit.SetText(u"");
    edit.SetText(u"during");
    EXPECT_EQ(edit.Text(), u"during");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("before"));
    EXPECT_EQ(changes, 3);
    edit.HoldDisplay(false);
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
    edit.SetText(envelope);
    EXPECT_EQ(edit.Text(), envelope);
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
    QTest::keyClicks(&edit, QStringLiteral("ZZ"));
    std::u16string expected = envelope;
    expected.replace(static_cast<std::size_t>(boundary - 2), 5, u"ZZ");
    EXPECT_EQ(edit.Text(), expected);

    // A large paste is shown in blocks too, and read back exactly.
    QGuiApplication::clipboard()->setText(ToQString(envelope));
    edit.selectAll();
    edit.paste();
    EXPECT_EQ(edit.Text(), envelope);
    EXPECT_GT(edit.document()->blockCount(), 2);
}

TEST_F(MessageArea, ShortLinesShareBlocksAndReadBackAsLines) {
    std::u16string text;
    for (int i = 0; i < 2000; ++i) {
        text += u"line " + ToU16(QString::number(i)) + u"\n";
    }
    edit.SetText(text);
    EXPECT_LT(edit.document()->blockCount(), 2000 / 8);
    EXPECT_EQ(edit.Text(), text);
    // A line break typed over one that shares a block is a line break in the text.
    Select(3, 10);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Text(), text.replace(3, 7, u"\n"));
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
