#include "app/qt/document_text.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <algorithm>
#include <map>
#include <utility>

namespace vigie {
namespace {

qreal pixels(int twips) {
    return twips / 15.0;
}

Qt::Alignment alignmentOf(RtfAlignment a) {
    switch (a) {
        case RtfAlignment::Centre:
            return Qt::AlignHCenter;
        case RtfAlignment::Right:
            return Qt::AlignRight;
        case RtfAlignment::Justified:
            return Qt::AlignJustify;
        case RtfAlignment::Left:
            break;
    }
    return Qt::AlignLeft;
}

QTextOption::TabType tabTypeOf(RtfTabAlignment a) {
    switch (a) {
        case RtfTabAlignment::Centre:
            return QTextOption::CenterTab;
        case RtfTabAlignment::Right:
            return QTextOption::RightTab;
        case RtfTabAlignment::Decimal:
            return QTextOption::DelimiterTab;
        case RtfTabAlignment::Left:
            break;
    }
    return QTextOption::LeftTab;
}

QTextListFormat::Style listStyleOf(RtfListStyle s) {
    switch (s) {
        case RtfListStyle::Decimal:
            return QTextListFormat::ListDecimal;
        case RtfListStyle::LowerAlpha:
            return QTextListFormat::ListLowerAlpha;
        case RtfListStyle::UpperAlpha:
            return QTextListFormat::ListUpperAlpha;
        case RtfListStyle::LowerRoman:
            return QTextListFormat::ListLowerRoman;
        case RtfListStyle::UpperRoman:
            return QTextListFormat::ListUpperRoman;
        case RtfListStyle::Bullet:
        case RtfListStyle::None:
            break;
    }
    return QTextListFormat::ListDisc;
}

QTextBlockFormat blockFormatOf(const RtfParagraphFormat& f) {
    QTextBlockFormat b;
    b.setAlignment(alignmentOf(f.alignment));
    // A list item's marker sits in the indent, left of the text: keep room for it.
    const int listIndent = 360;
    b.setLeftMargin(
        pixels(f.list == RtfListStyle::None ? f.leftIndent : std::max(f.leftIndent, listIndent)));
    b.setRightMargin(pixels(f.rightIndent));
    b.setTopMargin(pixels(f.spaceBefore));
    b.setBottomMargin(pixels(f.spaceAfter));
    QList<QTextOption::Tab> tabs;
    // A hanging indent is a tab stop too: "1." and a tab put the text at the indent.
    const bool hanging = f.firstLineIndent < 0 && f.list == RtfListStyle::None;
    if (hanging && (f.tabStops.empty() || f.tabStops.front().position > f.leftIndent))
        tabs.append(QTextOption::Tab(pixels(f.leftIndent), QTextOption::LeftTab));
    for (const RtfTabStop& t : f.tabStops) {
        tabs.append(
            QTextOption::Tab(pixels(t.position), tabTypeOf(t.alignment),
                             t.alignment == RtfTabAlignment::Decimal ? QChar('.') : QChar()));
    }
    b.setTabPositions(tabs);
    b.setTextIndent(f.list == RtfListStyle::None ? pixels(f.firstLineIndent) : 0);
    return b;
}

QTextCharFormat charFormatOf(const RtfCharFormat& c) {
    QTextCharFormat f;
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    return f;
}

// Lists of the newer form keep their numbering across other paragraphs; those of the older form
// only while their items follow one another.
class Lists {
  public:
    void add(QTextCursor& cursor, const RtfParagraphFormat& f) {
        if (f.list == RtfListStyle::None) {
            previous_ = nullptr;
            return;
        }
        QTextList*& list = f.listId > 0 ? byId_[{f.listId, f.listLevel}] : previous_;
        if (list != nullptr && (f.listId > 0 || sameKind(list->format(), f))) {
            list->add(cursor.block());
        } else {
            QTextListFormat format;
            format.setStyle(listStyleOf(f.list));
            format.setIndent(0);  // the paragraph's own indent places it
            format.setNumberPrefix(QString::fromStdString(f.listPrefix));
            format.setNumberSuffix(QString::fromStdString(f.listSuffix));
            format.setProperty(kLevel, f.listLevel);
            list = cursor.createList(format);
        }
        previous_ = f.listId == 0 ? list : nullptr;
    }

  private:
    static constexpr int kLevel = QTextFormat::UserProperty;

    static bool sameKind(const QTextListFormat& format, const RtfParagraphFormat& f) {
        return format.style() == listStyleOf(f.list) && format.intProperty(kLevel) == f.listLevel;
    }

    std::map<std::pair<int, int>, QTextList*> byId_;
    QTextList* previous_ = nullptr;
};

}  // namespace

void fillTextDocument(QTextDocument& out, const RtfDocument& doc, const QFont& font,
                      const QColor& colour) {
    out.clear();
    out.setDefaultFont(font);
    QTextOption option = out.defaultTextOption();
    option.setTabStopDistance(pixels(doc.defaultTabWidth));
    out.setDefaultTextOption(option);
    QTextCursor cursor(&out);
    Lists lists;
    std::size_t run = 0;
    for (std::size_t k = 0; k < doc.paragraphs.size(); ++k) {
        const RtfParagraph& p = doc.paragraphs[k];
        const RtfParagraphFormat& f = doc.formats[p.format];
        // The block's own character format draws its list marker: plain, whatever the text
        // before it was.
        if (k == 0) {
            cursor.setBlockFormat(blockFormatOf(f));
            cursor.setBlockCharFormat(QTextCharFormat());
        } else {
            cursor.insertBlock(blockFormatOf(f), QTextCharFormat());
        }
        lists.add(cursor, f);
        // A list draws its own marker: the one the file wrote out for other readers goes.
        std::size_t at = f.list == RtfListStyle::None ? p.begin : p.markerEnd;
        while (at < p.end) {
            while (run + 1 < doc.runs.size() && doc.runs[run].end <= at)
                ++run;
            const std::size_t end = std::min(p.end, doc.runs[run].end);
            QString text =
                QString::fromUtf8(doc.text.data() + at, static_cast<qsizetype>(end - at));
            // A line break inside a paragraph; a plain "\n" would start a new block.
            text.replace(QLatin1Char('\n'), QChar::LineSeparator);
            cursor.insertText(text, charFormatOf(doc.runs[run].format));
            at = end;
        }
    }

    // The window's font and colour over everything, list markers included; what the file says of
    // weight, slant and underline stays.
    QTextCharFormat forced;
    forced.setFontFamilies({font.family()});
    forced.setFontPointSize(font.pointSizeF());
    forced.setForeground(colour);
    QTextCursor all(&out);
    all.select(QTextCursor::Document);
    all.mergeCharFormat(forced);
    for (QTextBlock b = out.begin(); b.isValid(); b = b.next()) {
        QTextCursor c(b);
        c.mergeBlockCharFormat(forced);
    }
}

}  // namespace vigie
