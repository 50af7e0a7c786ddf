#include "app/qt/combo_style.h"

#include <QApplication>
#include <QPointer>
#include <QStyleOption>
#include <algorithm>

namespace vigie {
namespace {

constexpr int ButtonWidth = 15;  // pixels; Fusion draws 19

}  // namespace

ComboStyle* ComboStyle::instance() {
    static QPointer<ComboStyle> style;
    if (!style) {
        style = new ComboStyle(QApplication::style()->name());
        style->setParent(qApp);
    }
    return style;
}

QRect ComboStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                 SubControl part, const QWidget* widget) const {
    const QRect base = QProxyStyle::subControlRect(control, option, part, widget);
    if (control != CC_ComboBox || (part != SC_ComboBoxArrow && part != SC_ComboBoxEditField))
        return base;
    // Worked out left to right, then mirrored back for right-to-left layouts.
    const Qt::LayoutDirection direction = option->direction;
    const QRect arrow =
        visualRect(direction, option->rect,
                   QProxyStyle::subControlRect(control, option, SC_ComboBoxArrow, widget));
    const int spare = std::max(0, arrow.width() - ButtonWidth);
    QRect logical = visualRect(direction, option->rect, base);
    if (part == SC_ComboBoxArrow)
        logical.setLeft(logical.left() + spare);
    else
        logical.setRight(logical.right() + spare);
    return visualRect(direction, option->rect, logical);
}

}  // namespace vigie
