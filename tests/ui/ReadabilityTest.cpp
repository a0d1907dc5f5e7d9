// Every page of the window is readable: no text clipped, pictures drawn for the screen's pixel
// density (this file also runs under QT_SCALE_FACTOR=2), every text standing out from its
// background under a dark colour scheme, and panel descriptions in the window's own size.
// With OSTREVAN_SCREENS_DIR set, each page checked is also saved there as a PNG.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>
#include <fstream>
#include <map>

#include "tests/ui/UiFixture.h"
#include "ui/PanelFrame.h"

namespace fs = std::filesystem;

namespace {

double Channel(int value) {
    const double v = value / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double Luminance(QRgb c) {
    return 0.2126 * Channel(qRed(c)) + 0.7152 * Channel(qGreen(c)) + 0.0722 * Channel(qBlue(c));
}
double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How far text stands out in a region of a picture of the window: the region's commonest colour
// is its background, the colour differing most from it is the ink.
double TextContrast(const QImage& image, const QRect& region) {
    std::map<QRgb, int> counts;
    const QRect inside = region.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            ++counts[image.pixel(x, y) | 0xff000000u];
        }
    }
    if (counts.empty()) {
        return 0;
    }
    QRgb background = counts.begin()->first;
    int most = 0;
    for (const auto& [colour, count] : counts) {
        if (count > most) {
            most = count;
            background = colour;
        }
    }
    double best = 1;
    for (const auto& [colour, count] : counts) {
        best = std::max(best, Contrast(colour, background));
    }
    return best;
}

// The part of a control where its text is drawn, in window coordinates.
QRect TextRegion(const QWidget* control, const QWidget* window) {
    QRect rect(control->mapTo(window, QPoint(0, 0)), control->size());
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control)) {
        rect.setLeft(rect.left() + 20);  // leave out the indicator
    }
    if (qobject_cast<const QGroupBox*>(control)) {
        rect.setHeight(16);  // the title
    }
    return rect;
}

QString TextOf(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->pixmap().isNull() ? label->text() : QString();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return group->title();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text();
    }
    return {};
}

// What of a control's text would be cut off: empty when all of it shows.
std::string Clipped(const QWidget* control) {
    const QString text = TextOf(control);
    if (text.isEmpty() || qobject_cast<const QLineEdit*>(control)) {
        return {};
    }
    const QFontMetrics metrics = control->fontMetrics();
    const QWidget* parent = control->parentWidget();
    if (control->geometry().right() >= parent->width() ||
        control->geometry().bottom() >= parent->height()) {
        return "outside its parent";
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->wordWrap()) {
            return label->heightForWidth(label->width()) <= label->height() ? "" : "too many lines";
        }
        return metrics.horizontalAdvance(text) <= label->contentsRect().width() ? "" : "too wide";
    }
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control)) {
        return control->sizeHint().width() <= control->width() ? "" : "too wide";
    }
    if (qobject_cast<const QGroupBox*>(control)) {
        return metrics.horizontalAdvance(text) + 16 <= control->width() ? "" : "title too wide";
    }
    return metrics.horizontalAdvance(text) + 6 <= control->width() ? "" : "too wide";
}

QPalette DarkPalette() {
    QPalette dark;
    const QColor window(0x2b, 0x2d, 0x30), base(0x1e, 0x1f, 0x22), text(0xe6, 0xe6, 0xe6);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        dark.setColor(group, QPalette::Window, window);
        dark.setColor(group, QPalette::WindowText, text);
        dark.setColor(group, QPalette::Base, base);
        dark.setColor(group, QPalette::AlternateBase, window);
        dark.setColor(group, QPalette::Text, text);
        dark.setColor(group, QPalette::Button, QColor(0x3c, 0x3f, 0x41));
        dark.setColor(group, QPalette::ButtonText, text);
        dark.setColor(group, QPalette::Light, QColor(0x55, 0x58, 0x5b));
        dark.setColor(group, QPalette::Midlight, QColor(0x47, 0x4a, 0x4d));
        dark.setColor(group, QPalette::Mid, QColor(0x30, 0x32, 0x35));
        dark.setColor(group, QPalette::Dark, QColor(0x18, 0x19, 0x1b));
        dark.setColor(group, QPalette::Shadow, Qt::black);
        dark.setColor(group, QPalette::Highlight, QColor(0x2f, 0x65, 0xca));
        dark.setColor(group, QPalette::HighlightedText, Qt::white);
        dark.setColor(group, QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
        dark.setColor(group, QPalette::ToolTipBase, base);
        dark.setColor(group, QPalette::ToolTipText, text);
    }
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x8a, 0x8a, 0x8a));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x8a, 0x8a, 0x8a));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x8a, 0x8a, 0x8a));
    return dark;
}

const char* const kPageNames[] = {"start-page", "basic-settings", "exceptions", "events",
                                  "recovery",   "console",        "about"};

}  // namespace

class Readability : public UiFixture {
  protected:
    // A window watching a folder, each panel with something in it.
    TGUI_Form& StartWindow() {
        InstallLanguageFile();
        const fs::path watched = Root / "Documents";
        const fs::path store = Root / "store";
        fs::create_directories(watched);
        std::ofstream(Program / "Settings/Settings.ini", std::ios::binary)
            << "[GENERAL]\r\nSOURCE=" << watched.string() << "\r\nSUBFOLDERS=TRUE\r\n"
            << "DESTINATION=" << store.string() << "\r\nSKIPLIKETASKS=FALSE\r\n"
            << "[FILTERS]\r\nBYSIZE=\r\nBYEXT=.tmp;.bak\r\nBYEXTMODE=2\r\n";
        TGUI_Form& form = CreateForm();
        ConnectWindowHooks(form);
        ReloadSettings();
        QApplication::processEvents();
        return form;
    }

    // Page n (0 the start page) of the window, drawn; saved when screens are asked for.
    QImage Page(int n, const char* prefix) {
        Form->LoadPanel(n);
        QApplication::processEvents();
        const QPixmap picture = Form->grab();
        const QByteArray folder = qgetenv("OSTREVAN_SCREENS_DIR");
        if (!folder.isEmpty()) {
            picture.save(QString::fromUtf8(folder) + "/" + prefix + "-" + kPageNames[n] + ".png");
        }
        QImage image = picture.toImage();
        // Compare in window coordinates whatever the pixel density.
        return image.scaled(Form->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }

    std::vector<QWidget*> ShownTexts() const {
        std::vector<QWidget*> shown;
        for (QWidget* widget : Form->findChildren<QWidget*>()) {
            if (widget->isVisible() && !TextOf(widget).isEmpty()) {
                shown.push_back(widget);
            }
        }
        return shown;
    }
};

TEST_F(Readability, NoTextIsClippedAndPicturesMatchThePixelDensity) {
    TGUI_Form& form = StartWindow();
    const qreal density = form.devicePixelRatioF();
    if (qgetenv("QT_SCALE_FACTOR") == "2") {
        EXPECT_EQ(density, 2.0);
    }
    const char* prefix = density > 1.5 ? "scale2" : "scale1";
    for (int n = 0; n <= 6; ++n) {
        Page(n, prefix);
        for (QWidget* control : ShownTexts()) {
            const std::string cut = Clipped(control);
            EXPECT_TRUE(cut.empty()) << kPageNames[n] << ": " << control->objectName().toStdString()
                                     << " " << cut << ": " << TextOf(control).toStdString();
        }
        for (QLabel* picture : Form->findChildren<QLabel*>()) {
            if (picture->isVisible() && !picture->pixmap().isNull()) {
                EXPECT_EQ(picture->pixmap().devicePixelRatio(), density)
                    << picture->objectName().toStdString();
                EXPECT_GE(picture->pixmap().width(), std::lround(picture->width() * density) - 2)
                    << picture->objectName().toStdString();
            }
        }
    }
    // The side bar's pictures too.
    const QPixmap image = form.OutButton1_1->icon().pixmap(QSize(32, 32), density);
    EXPECT_EQ(image.width(), std::lround(32 * density));
}

TEST_F(Readability, PanelDescriptionsUseTheWindowsSizeAndFitTheirStrip) {
    TGUI_Form& form = StartWindow();
    for (int n = 1; n <= TGUI_Form::kPanelCount; ++n) {
        QLabel* description = form.PanelAt(n)->LabelText;
        EXPECT_GE(description->font().pixelSize(), WindowFont().pixelSize()) << n;
        EXPECT_LE(description->geometry().bottom(), PanelFrame::kHeaderHeight - 1) << n;
        EXPECT_EQ(description->pos(), QPoint(83, 28)) << n;
    }
}

TEST_F(Readability, UnderADarkSchemeEveryTextStandsOutFromItsBackground) {
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    TGUI_Form& form = StartWindow();
    for (int n = 0; n <= 6; ++n) {
        const QImage image = Page(n, "dark");
        for (QWidget* control : ShownTexts()) {
            if (!control->isEnabled()) {
                continue;  // greyed out on purpose
            }
            const double contrast = TextContrast(image, TextRegion(control, &form));
            EXPECT_GE(contrast, 4.5) << kPageNames[n] << ": " << control->objectName().toStdString()
                                     << ": " << TextOf(control).toStdString();
        }
    }
    Form.reset();
    QApplication::setPalette(saved);
}
