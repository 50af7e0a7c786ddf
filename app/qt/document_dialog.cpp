#include "app/qt/document_dialog.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTextEdit>

#include "app/layout.h"
#include "app/qt/document_text.h"
#include "app/qt/screen_centre.h"

namespace vigie {
namespace {

QRect pixels(const Rect& r) {
    return QRect(layout::px(r.left), layout::px(r.top), layout::px(r.width), layout::px(r.height));
}

QString rgb(std::uint32_t c) {
    return QStringLiteral("rgb(%1,%2,%3)").arg(c >> 16).arg((c >> 8) & 0xFF).arg(c & 0xFF);
}

}  // namespace

DocumentDialog::DocumentDialog(const DocumentWindow& model, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QString::fromStdString(model.caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(layout::px(model.clientWidth), layout::px(model.clientHeight));
    centreOnScreen(this);
    setStyleSheet("QDialog { background: black; }");
    if (owner)
        setWindowIcon(owner->windowIcon());

    auto* box = new QTextEdit(this);
    box->setGeometry(pixels(model.textBox));
    box->setReadOnly(true);
    box->setStyleSheet(QStringLiteral("QTextEdit { background: %1; color: %2; }")
                           .arg(rgb(model.backColor), rgb(model.textColor)));
    QFont font(QString::fromStdString(model.fontName));
    font.setPointSizeF(model.fontSize);
    box->setFont(font);
    fillTextDocument(*box->document(), model.document, font, QColor::fromRgb(model.textColor));
    box->moveCursor(QTextCursor::Start);

    auto* button = new QPushButton(QString::fromStdString(model.buttonCaption), this);
    button->setGeometry(pixels(model.button));
    button->setDefault(true);
    connect(button, &QPushButton::clicked, this, [this] {
        buttonPressed_ = true;
        accept();
    });
    if (model.buttonFocusedFirst) {
        setTabOrder(button, box);
        button->setFocus();
    } else {
        setTabOrder(box, button);
        box->setFocus();
    }
}

void DocumentDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vigie
