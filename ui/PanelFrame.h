#pragma once
// The frame shared by the six panels: a raised inner and lowered outer bevel, and a white header
// strip 63 pixels high with a 48 x 48 picture, a bold title and a one-line description.
#include <QFrame>
#include <QLabel>
#include <QString>

class QPainter;
class QPalette;

class PanelFrame : public QFrame {
    Q_OBJECT
  public:
    // Size of every panel: the window's area right of the side bar.
    static constexpr int kWidth = 448;
    static constexpr int kHeight = 393;
    static constexpr int kHeaderHeight = 63;

    // number: the panel's number n (object names PanelN, MainTextN_1, LabelTextN_1, ImageN_1);
    // headerName: object name of the header strip; pictureStem: header picture (Pictures.h).
    PanelFrame(int number, const QString& headerName, const QString& pictureStem, QWidget* parent);

    int Number() const { return number_; }

    QFrame* HeaderStrip = nullptr;
    QLabel* HeaderImage = nullptr;  // ImageN_1
    QLabel* MainText = nullptr;     // MainTextN_1, bold title
    QLabel* LabelText = nullptr;    // LabelTextN_1, smaller description

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int number_;
};

// Draws a one-pixel bevel inside rect: raised (light top-left, dark bottom-right) or lowered.
void DrawBevel(QPainter& painter, const QRect& rect, bool raised, const QPalette& palette);

// Sets a caption on a label, button or group box. A plain label grows or shrinks to its text,
// as labels of fixed place and automatic size do; word-wrapped labels and labels marked with
// the property "fixedGeometry" keep their size.
void SetCaption(QWidget* control, const QString& text);

// Creates a label at (x, y) with automatic size.
QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y);
// Creates a word-wrapped label of fixed place and size.
QLabel* MakeWrappedLabel(QWidget* parent, const char* name, const QRect& geometry);
// Creates a picture of fixed size showing the rendered picture.
QLabel* MakePicture(QWidget* parent, const char* name, const QString& stem, const QRect& geometry);
// Creates a thin sunken separator line.
QFrame* MakeSeparator(QWidget* parent, const char* name, const QRect& geometry);
