#include "ui/AboutPanel.h"

#include "core/Paths.h"

namespace {

const char* const kProductHomePage = "https://ostrevan.example.org/";
const char* const kSourceAddress = OSTREVAN_SOURCE_URL;
const char* const kLicenceAddress = "https://www.gnu.org/licenses/gpl-3.0.html";

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

// A link too long for the panel gives up the middle of its text; the tool tip shows it whole.
void FitLinkText(QLabel* link) {
    const int room = PanelFrame::kWidth - link->x() - 8;
    if (link->width() <= room) {
        return;
    }
    const QString whole = link->text();
    link->setToolTip(whole);
    SetCaption(link, link->fontMetrics().elidedText(whole, Qt::ElideMiddle, room));
    link->setAccessibleName(whole);
}

}  // namespace

QUrl ProductHomePage() {
    return QUrl(QString::fromLatin1(kProductHomePage));
}
QUrl SourceAddress() {
    return QUrl(QString::fromLatin1(kSourceAddress));
}
QUrl LicenceAddress() {
    return QUrl(QString::fromLatin1(kLicenceAddress));
}
QString ProgramVersion() {
    return QStringLiteral(OSTREVAN_VERSION);
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
    Label6_4 = MakeFixedText(this, "Label6_4", 59, 164,
                             QStringLiteral("Free software under the GNU General Public License,"));
    Label6_5 = MakeFixedText(this, "Label6_5", 59, 180,
                             QStringLiteral("version 3 or any later version (GPL-3.0-or-later)."));
    Label6_6 =
        MakeFixedText(this, "Label6_6", 59, 196,
                      QStringLiteral("It comes with no warranty. You may share and change it"));
    Label6_7 = MakeFixedText(this, "Label6_7", 59, 212,
                             QStringLiteral("under its terms; the file LICENSE holds them."));

    Image6_4 =
        MakePicture(this, "Image6_4", QStringLiteral("about-globe-mail"), QRect(8, 246, 32, 32));
    Label6_8 = MakeLabel(this, "Label6_8", 53, 246);
    MakeBold(Label6_8);
    Panel6_4 = MakeSeparator(this, "Panel6_4", QRect(46, 262, 363, 2));
    Label6_9 = MakeLink(this, "Label6_9", 59, 268,
                        QStringLiteral("Source: ") + QString::fromLatin1(kSourceAddress));
    Label6_10 = MakeLink(this, "Label6_10", 59, 284,
                         QStringLiteral("Help: ") + QString::fromStdString(LanguageDir) +
                             QStringLiteral("/HELP/index.htm"));
    FitLinkText(Label6_9);
    FitLinkText(Label6_10);
    Label6_11 = MakeLink(this, "Label6_11", 59, 300,
                         QStringLiteral("Licence: ") + QString::fromLatin1(kLicenceAddress));

    // Lettering that stands out from the panel's colour, light or dark.
    const bool darkPanel = palette().color(QPalette::Window).lightness() < 128;
    Image6_5 = MakePicture(this, "Image6_5",
                           darkPanel ? QStringLiteral("logo-light") : QStringLiteral("logo"),
                           QRect(184, 309, 256, 74));
    Label6_12 = MakeFixedText(this, "Label6_12", 11, 372,
                              QStringLiteral("\u00a9 2026 The Ostrevan developers"));
}

void Panel6::ShowVersion(const QString& languageText) {
    static const QString kPlace = QStringLiteral("$VERSION$");
    QString text = languageText;
    if (text.contains(kPlace, Qt::CaseInsensitive)) {
        text.replace(kPlace, ProgramVersion(), Qt::CaseInsensitive);
    } else {
        text += QLatin1Char(' ') + ProgramVersion();
    }
    SetCaption(Label6_2, text);
}
