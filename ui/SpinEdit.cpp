#include "ui/SpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <algorithm>
#include <limits>

int32_t ParseWholeNumber(const QString& text, bool* ok) {
    *ok = false;
    int start = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        start = 1;
    }
    if (start >= text.size()) {
        return 0;
    }
    for (int i = start; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') {
            return 0;
        }
    }
    bool converted = false;
    const qlonglong wide = text.toLongLong(&converted);
    if (!converted || wide < std::numeric_limits<int32_t>::min() ||
        wide > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    *ok = true;
    return static_cast<int32_t>(wide);
}

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    SetValue(0);
}

bool TSpinEdit::IsAcceptedCharacter(QChar c) {
    return c.isDigit() || c == u'+' || c == u'-' || c == QLocale().decimalPoint().front();
}

int32_t TSpinEdit::Value() const {
    bool ok = false;
    const int32_t value = ParseWholeNumber(text(), &ok);
    return ok ? value : 0;
}

void TSpinEdit::SetValue(int32_t value) {
    SetText(QString::number(value));
}

void TSpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

void TSpinEdit::stepBy(int steps) {
    const qint64 next = static_cast<qint64>(Value()) + steps;
    const qint64 low = std::numeric_limits<int32_t>::min();
    const qint64 high = std::numeric_limits<int32_t>::max();
    SetValue(static_cast<int32_t>(std::clamp(next, low, high)));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
    return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    for (QChar c : input) {
        if (!IsAcceptedCharacter(c)) {
            return QValidator::Invalid;
        }
    }
    return QValidator::Acceptable;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed[0].isPrint();
    if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        for (QChar c : typed) {
            if (!IsAcceptedCharacter(c)) {
                QApplication::beep();
                event->accept();
                return;
            }
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}
