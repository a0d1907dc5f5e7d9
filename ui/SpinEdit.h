#pragma once
// A whole-number field with up and down arrows and no bounds: typing accepts digits, "+", "-"
// and the decimal separator and refuses any other character with a beep; the arrows and the
// arrow keys step by 1.
#include <QAbstractSpinBox>
#include <cstdint>

class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    // The text as a signed 32-bit decimal number; 0 (the field's lower bound) when the text is
    // not a whole number in that range (empty, a lone sign, a fraction, too large).
    int32_t Value() const;
    void SetValue(int32_t value);
    void SetText(const QString& text);

    // True when a typed character is one the field takes.
    static bool IsAcceptedCharacter(QChar c);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

  protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The text as a signed 32-bit decimal number (an optional sign and digits only); *ok tells
// whether it was one.
int32_t ParseWholeNumber(const QString& text, bool* ok);
