#pragma once
// The drop-down lists' look: the style in use, with a narrower drop-down button. The lists have
// fixed widths, and the field beside the button must hold the longest database name.

#include <QProxyStyle>

namespace vigie {

class ComboStyle : public QProxyStyle {
  public:
    // One instance for all the lists, owned by the application.
    static ComboStyle* instance();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;

  private:
    using QProxyStyle::QProxyStyle;
};

}  // namespace vigie
