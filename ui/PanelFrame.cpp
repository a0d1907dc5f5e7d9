#include "ui/PanelFrame.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QPainter>

#include "ui/Pictures.h"

namespace {

// A white strip with a raised inner and a lowered outer bevel.
class HeaderFrame : public QFrame {
  public:
    using QFrame::QFrame;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        DrawBevel(painter, rect(), false, palette());
        DrawBevel(painter, rect().adjusted(1, 1, -1, -1), true, palette());
    }
};

}  // namespace

void DrawBevel(QPainter& painter, const QRect& rect, bool raised, const QPalette& palette) {
    const QColor light = raised ? palette.color(QPalette::Light) : palette.color(QPalette::Dark);
    const QColor dark = raised ? palette.color(QPalette::Dark) : palette.color(QPalette::Light);
    painter.setPen(light);
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(dark);
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
}

PanelFrame::PanelFrame(int number, const QString& headerName, const QString& pictureStem,
                       QWidget* parent)
    : QFrame(parent), number_(number) {
    setObjectName(QStringLiteral("Panel%1").arg(number));
    resize(kWidth, kHeight);
    setAutoFillBackground(true);  // covers the start page beneath it

    HeaderStrip = new HeaderFrame(this);
    HeaderStrip->setObjectName(headerName);
    HeaderStrip->setGeometry(2, 2, kWidth - 4, kHeaderHeight);
    // The strip is always white, so its texts are always dark, whatever the desktop's colours.
    QPalette stripColours = HeaderStrip->palette();
    stripColours.setColor(QPalette::Window, Qt::white);
    stripColours.setColor(QPalette::WindowText, Qt::black);
    HeaderStrip->setPalette(stripColours);

    HeaderImage = MakePicture(HeaderStrip, "", pictureStem, QRect(7, 5, 48, 48));
    HeaderImage->setObjectName(QStringLiteral("Image%1_1").arg(number));

    MainText = MakeLabel(HeaderStrip, "", 69, 13);
    MainText->setObjectName(QStringLiteral("MainText%1_1").arg(number));
    QFont titleFont = MainText->font();
    titleFont.setBold(true);
    MainText->setFont(titleFont);

    // The description in the window's own size; a long one wraps to a second line in the strip.
    LabelText = MakeWrappedLabel(HeaderStrip, "", QRect(83, 28, kWidth - 4 - 83 - 8, 32));
    LabelText->setObjectName(QStringLiteral("LabelText%1_1").arg(number));
}

void PanelFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawBevel(painter, rect(), false, palette());
    DrawBevel(painter, rect().adjusted(1, 1, -1, -1), true, palette());
}

void SetCaption(QWidget* control, const QString& text) {
    if (control) {
        control->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
        if (!label->wordWrap() && !label->property("fixedGeometry").toBool()) {
            label->adjustSize();
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (control) {
        control->setWindowTitle(text);
    }
}

QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    return label;
}

QLabel* MakeWrappedLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = MakeLabel(parent, name, geometry.x(), geometry.y());
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    return label;
}

QLabel* MakePicture(QWidget* parent, const char* name, const QString& stem, const QRect& geometry) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setGeometry(geometry);
    picture->setPixmap(RenderPicture(stem, geometry.width(), geometry.height()));
    return picture;
}

QFrame* MakeSeparator(QWidget* parent, const char* name, const QRect& geometry) {
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(geometry);
    return line;
}
