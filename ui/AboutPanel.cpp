#include "ui/AboutPanel.h"

namespace {

const char* const kProductHomePage = "https://ostrevan.example.org/";
const char* const kMakerHomePage = "https://www.example.org/";
const char* const kContactAddress = "contact@example.org";
const char* const kSupportAddress = "support@example.org";

void MakeBold(QLabel* label) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

void MakeSmall(QLabel* label) {
    QFont font = label->font();
    font.setPixelSize(10);
    label->setFont(font);
}

// A small label with a fixed text.
QLabel* MakeFixedText(QWidget* parent, const char* name, int x, int y, const QString& text) {
    QLabel* label = MakeLabel(parent, name, x, y);
    MakeSmall(label);
    SetCaption(label, text);
    return label;
}

QLabel* MakeLink(QWidget* parent, const char* name, int x, int y, const QString& text) {
    QLabel* label = MakeFixedText(parent, name, x, y, text);
    label->setCursor(Qt::PointingHandCursor);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->adjustSize();
    return label;
}

}  // namespace

QUrl ProductHomePage() {
    return QUrl(QString::fromLatin1(kProductHomePage));
}
QUrl MakerHomePage() {
    return QUrl(QString::fromLatin1(kMakerHomePage));
}
QUrl ContactMailLink() {
    return QUrl(QStringLiteral("mailto:") + kContactAddress);
}
QUrl SupportMailLink() {
    return QUrl(QStringLiteral("mailto:") + kSupportAddress);
}

Panel6::Panel6(QWidget* parent)
    : PanelFrame(6, QStringLiteral("Panel6_1"), QStringLiteral("bar-cubes"), parent) {
    Image6_2 = MakePicture(this, "Image6_2", QStringLiteral("about-window"), QRect(8, 78, 32, 32));
    Label6_1 = MakeLabel(this, "Label6_1", 53, 78);
    MakeBold(Label6_1);
    SetCaption(Label6_1, QStringLiteral("Ostrevan.lite"));
    Label6_2 = MakeLabel(this, "Label6_2", 59, 100);
    MakeSmall(Label6_2);
    Panel6_2 = MakeSeparator(this, "Panel6_2", QRect(46, 94, 363, 2));

    Image6_3 = MakePicture(this, "Image6_3", QStringLiteral("about-people"), QRect(8, 142, 32, 32));
    Label6_3 = MakeLabel(this, "Label6_3", 53, 142);
    MakeBold(Label6_3);
    Panel6_3 = MakeSeparator(this, "Panel6_3", QRect(46, 158, 363, 2));
    Label6_4 = MakeFixedText(this, "Label6_4", 59, 164, QStringLiteral("The Ostrevan project"));
    Label6_5 =
        MakeFixedText(this, "Label6_5", 59, 180, QStringLiteral("Contact: the Ostrevan team"));
    Label6_6 =
        MakeFixedText(this, "Label6_6", 59, 196, QStringLiteral("1 Example Street, Exampleton"));
    Label6_7 = MakeFixedText(this, "Label6_7", 59, 212, QStringLiteral("EX1 2MP, Example Country"));

    Image6_4 =
        MakePicture(this, "Image6_4", QStringLiteral("about-globe-mail"), QRect(8, 246, 32, 32));
    Label6_8 = MakeLabel(this, "Label6_8", 53, 246);
    MakeBold(Label6_8);
    Panel6_4 = MakeSeparator(this, "Panel6_4", QRect(46, 262, 363, 2));
    Label6_9 = MakeLink(this, "Label6_9", 59, 268, QString::fromLatin1(kMakerHomePage));
    Label6_10 = MakeLink(this, "Label6_10", 59, 284, QString::fromLatin1(kContactAddress));
    Label6_11 = MakeLink(this, "Label6_11", 59, 300, QString::fromLatin1(kSupportAddress));

    Image6_5 = MakePicture(this, "Image6_5", QStringLiteral("logo"), QRect(184, 309, 256, 74));
    Label6_12 = MakeFixedText(this, "Label6_12", 11, 372,
                              QStringLiteral("\u00a9 2026 The Ostrevan project"));
}
