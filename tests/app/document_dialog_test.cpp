// The help and start windows as Qt shows them: the file's paragraphs, lists and character formats
// kept, the window's font and colour over everything.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextList>
#include <filesystem>
#include <string>
#include <vector>

#include "app/document_windows.h"
#include "app/qt/document_dialog.h"
#include "tests/support/form_fixture.h"

namespace vigie::test {
namespace {

namespace fs = std::filesystem;

// A document in other fonts, sizes and colours, with one of each formatting the windows keep.
const char* const kFormatted =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Courier New;}{\\f1 Symbol;}}"
    "{\\colortbl;\\red255\\green0\\blue0;}\\f0\\fs40\\cf1"
    "\\pard\\qc\\b Titre\\b0\\par"
    "\\pard\\qr\\i droite\\i0\\par"
    "\\pard\\qj\\li300\\ri150\\sa120 justifi\\'e9 {\\ul soulign\\'e9}\\par"
    "\\pard\\li300\\fi-300 1.\\tab pas\\par"
    "\\pard\\tx1500\\tqr\\tx4500 a\\tab b\\tab c\\par"
    "\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'b7}}\\li720\\fi-360 "
    "\\b puce\\b0\\par"
    "\\pard{\\listtext 1.\\tab}\\ls1\\li720\\fi-360 un\\par"
    "\\pard fin\\par"
    "{\\listtext 2.\\tab}\\ls1\\li720\\fi-360 deux}";

struct Block {
    QString text;
    QTextBlockFormat format;
    QTextCharFormat marker;  // what the list marker is drawn with
    QTextList* list;
    std::vector<QTextLayout::FormatRange> fragments;
};

std::vector<Block> blocksOf(const QTextDocument& doc) {
    std::vector<Block> blocks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        Block block{b.text(), b.blockFormat(), b.charFormat(), b.textList(), {}};
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            block.fragments.push_back({f.position() - b.position(), f.length(), f.charFormat()});
        }
        blocks.push_back(block);
    }
    return blocks;
}

QTextCharFormat formatAt(const Block& b, const QString& word) {
    const int at = static_cast<int>(b.text.indexOf(word));
    for (const auto& f : b.fragments) {
        if (at >= f.start && at < f.start + f.length)
            return f.format;
    }
    ADD_FAILURE() << "no fragment holds " << word.toStdString();
    return {};
}

// Every character and every block (whose format list markers use) is white 9-point `family`.
void expectForcedFont(const QTextDocument& doc, const QString& family) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        std::vector<QTextCharFormat> formats{b.charFormat()};
        for (auto it = b.begin(); !it.atEnd(); ++it)
            formats.push_back(it.fragment().charFormat());
        for (const QTextCharFormat& f : formats) {
            EXPECT_EQ(f.fontFamilies().toStringList(), QStringList{family})
                << b.text().toStdString();
            EXPECT_EQ(f.fontPointSize(), 9) << b.text().toStdString();
            EXPECT_EQ(f.foreground().color(), QColor(Qt::white)) << b.text().toStdString();
        }
    }
}

class DocumentDialogTest : public FormFixture {
  protected:
    QTextDocument* documentOf(DocumentDialog& dialog) {
        auto* box = dialog.findChild<QTextEdit*>();
        return box ? box->document() : nullptr;
    }
};

TEST_F(DocumentDialogTest, KeepsTheFileFormattingUnderTheWindowFont) {
    fs::create_directories(appDir());
    writeFile(appDir() / "UserGuide.rtf", kFormatted);
    DocumentDialog dialog(frmHelp_Load(appPath()), nullptr);
    QTextDocument* doc = documentOf(dialog);
    ASSERT_NE(doc, nullptr);
    const std::vector<Block> b = blocksOf(*doc);
    ASSERT_EQ(b.size(), 9u);

    EXPECT_EQ(b[0].text, "Titre");
    EXPECT_TRUE(b[0].format.alignment() & Qt::AlignHCenter);
    EXPECT_EQ(formatAt(b[0], "Titre").fontWeight(), QFont::Bold);

    EXPECT_TRUE(b[1].format.alignment() & Qt::AlignRight);
    EXPECT_TRUE(formatAt(b[1], "droite").fontItalic());
    EXPECT_NE(formatAt(b[1], "droite").fontWeight(), QFont::Bold);

    EXPECT_TRUE(b[2].format.alignment() & Qt::AlignJustify);
    EXPECT_EQ(b[2].format.leftMargin(), 20);
    EXPECT_EQ(b[2].format.rightMargin(), 10);
    EXPECT_EQ(b[2].format.bottomMargin(), 8);
    EXPECT_TRUE(formatAt(b[2], "soulign").fontUnderline());
    EXPECT_FALSE(formatAt(b[2], "justifi").fontUnderline());

    // A hanging indent stops the tab after a hand-written number.
    EXPECT_EQ(b[3].text, "1.\tpas");
    EXPECT_EQ(b[3].format.textIndent(), -20);
    ASSERT_EQ(b[3].format.tabPositions().size(), 1);
    EXPECT_EQ(b[3].format.tabPositions()[0].position, 20);

    ASSERT_EQ(b[4].format.tabPositions().size(), 2);
    EXPECT_EQ(b[4].format.tabPositions()[0].position, 100);
    EXPECT_EQ(b[4].format.tabPositions()[1].type, QTextOption::RightTab);

    // Lists draw their own markers: those written out for other readers are gone.
    EXPECT_EQ(b[5].text, "puce");
    ASSERT_NE(b[5].list, nullptr);
    EXPECT_EQ(b[5].list->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(b[5].format.leftMargin(), 48);
    EXPECT_EQ(b[5].format.textIndent(), 0);

    EXPECT_EQ(b[6].text, "un");
    ASSERT_NE(b[6].list, nullptr);
    EXPECT_EQ(b[6].list->format().style(), QTextListFormat::ListDecimal);
    // The bold of the item before does not reach the next item's marker.
    EXPECT_EQ(formatAt(b[5], "puce").fontWeight(), QFont::Bold);
    EXPECT_NE(b[6].marker.fontWeight(), QFont::Bold);
    // The numbering goes on after the paragraph between the items.
    EXPECT_EQ(b[7].list, nullptr);
    EXPECT_EQ(b[8].text, "deux");
    EXPECT_EQ(b[8].list, b[6].list);
    EXPECT_EQ(b[6].list->itemText(doc->findBlockByNumber(8)), "2.");

    expectForcedFont(*doc, "tahoma");
}

TEST_F(DocumentDialogTest, TabWidthAndRoomForListMarkers) {
    fs::create_directories(appDir());
    writeFile(appDir() / "UserGuide.rtf", "{\\rtf1 a\\tab b\\par{\\listtext 1.\\tab}\\ls1 x}");
    DocumentDialog plain(frmHelp_Load(appPath()), nullptr);
    // RTF's default tab width, 720 twips.
    EXPECT_EQ(documentOf(plain)->defaultTextOption().tabStopDistance(), 48);
    // A list item without an indent still has room for its marker.
    const std::vector<Block> b = blocksOf(*documentOf(plain));
    ASSERT_EQ(b.size(), 2u);
    ASSERT_NE(b[1].list, nullptr);
    EXPECT_EQ(b[1].format.leftMargin(), 24);

    writeFile(appDir() / "UserGuide.rtf", "{\\rtf1\\deftab1440 a\\tab b}");
    DocumentDialog wide(frmHelp_Load(appPath()), nullptr);
    EXPECT_EQ(documentOf(wide)->defaultTextOption().tabStopDistance(), 96);
}

TEST_F(DocumentDialogTest, FallbackMessageInTheWindowFont) {
    DocumentDialog dialog(frmStart_Load(appPath()), nullptr);
    QTextDocument* doc = documentOf(dialog);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->toPlainText(), "Text File in Use or Could Not Be Found (M4Start.rtf)");
    expectForcedFont(*doc, "Tahoma");
}

TEST_F(DocumentDialogTest, ShippedDocumentsKeepTitlesAndSteps) {
    fs::create_directories(appDir());
    for (const char* name : {"M4Start.rtf", "UserGuide.rtf"})
        fs::copy_file(fs::path(VIGIE_RESOURCES_DIR) / name, appDir() / name);

    DocumentDialog start(frmStart_Load(appPath()), nullptr);
    const std::vector<Block> s = blocksOf(*documentOf(start));
    ASSERT_FALSE(s.empty());
    EXPECT_TRUE(s[0].format.alignment() & Qt::AlignHCenter);
    EXPECT_EQ(formatAt(s[0], "Mise").fontWeight(), QFont::Bold);
    expectForcedFont(*documentOf(start), "Tahoma");

    DocumentDialog help(frmHelp_Load(appPath()), nullptr);
    const std::vector<Block> h = blocksOf(*documentOf(help));
    int steps = 0;
    for (const Block& b : h) {
        if (b.text.size() > 2 && b.text[0].isDigit() && b.text.mid(1, 2) == ".\t") {
            ++steps;
            EXPECT_LT(b.format.textIndent(), 0);
            // One stop, where the text of the step's further lines starts.
            ASSERT_EQ(b.format.tabPositions().size(), 1u);
            EXPECT_EQ(b.format.tabPositions()[0].position, b.format.leftMargin());
        }
    }
    EXPECT_EQ(steps, 6);
    expectForcedFont(*documentOf(help), "tahoma");
}

}  // namespace
}  // namespace vigie::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
