#include "ui/ConsolePanel.h"

#include <QScrollBar>
#include <QTextCursor>

Panel5::Panel5(QWidget* parent)
    : PanelFrame(5, QStringLiteral("Panel5_1"), QStringLiteral("bar-picture"), parent) {
    Memo5_1 = new QPlainTextEdit(this);
    Memo5_1->setObjectName(QStringLiteral("Memo5_1"));
    Memo5_1->setGeometry(2, 2 + kHeaderHeight, kWidth - 4, 326);
    Memo5_1->setFrameShape(QFrame::NoFrame);
    Memo5_1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo5_1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo5_1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo5_1->setReadOnly(false);
    Memo5_1->setUndoRedoEnabled(false);
    Memo5_1->setTabChangesFocus(true);  // Tab moves on, as in every other control
    QPalette palette = Memo5_1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    Memo5_1->setPalette(palette);
}

void Panel5::AppendLine(const QString& line) {
    if (hasPending_) {
        pending_ += QLatin1Char('\n');
    }
    pending_ += line;
    hasPending_ = true;
    if (!flushQueued_) {
        flushQueued_ = true;
        QMetaObject::invokeMethod(this, &Panel5::FlushLines, Qt::QueuedConnection);
    }
}

// Inserts the pending lines at the document's end through a cursor of its own, so the user's
// cursor and selection stay where they are; the view follows the end only when it was already
// there.
void Panel5::FlushLines() {
    flushQueued_ = false;
    if (!hasPending_) {
        return;
    }
    QScrollBar* bar = Memo5_1->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextDocument* document = Memo5_1->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    if (appended_ || !document->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(pending_);
    appended_ = true;
    pending_.clear();
    hasPending_ = false;
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

void Panel5::showEvent(QShowEvent* event) {
    FlushLines();
    PanelFrame::showEvent(event);
}
