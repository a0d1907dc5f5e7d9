#include "ui/StorePanel.h"

#include <QApplication>
#include <QPointer>
#include <algorithm>
#include <array>
#include <optional>

#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "ui/WindowThread.h"

namespace {

QString Text(const char* key) {
    return QString::fromStdString(LanguageText("PANEL7", key, "GUI"));
}

TSpinEdit* MakeSpinEdit(QWidget* parent, const char* name, const QRect& geometry) {
    auto* spin = new TSpinEdit(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setGeometry(geometry);
    return spin;
}

// A rule's value as typed: a whole number from 0 up, an empty field counting as 0 (off);
// nullopt for anything else.
std::optional<int32_t> RuleValue(const TSpinEdit* spin) {
    const QString text = spin->text().trimmed();
    if (text.isEmpty()) {
        return 0;
    }
    bool ok = false;
    const int32_t value = ParseWholeNumber(text, &ok);
    return ok && value >= 0 ? std::optional<int32_t>(value) : std::nullopt;
}

}  // namespace

QString ByteText(std::int64_t bytes) {
    constexpr double kThousand = 1000.0;
    const double value = static_cast<double>(bytes);
    if (bytes < 1000 * 1000) {
        return QStringLiteral("%1 kB").arg(static_cast<qint64>((bytes + 999) / 1000));
    }
    if (value < kThousand * kThousand * kThousand) {
        return QStringLiteral("%1 MB").arg(value / (kThousand * kThousand), 0, 'f', 1);
    }
    return QStringLiteral("%1 GB").arg(value / (kThousand * kThousand * kThousand), 0, 'f', 1);
}

Panel7::Panel7(QWidget* parent)
    : PanelFrame(7, QStringLiteral("Panel7_1"), QStringLiteral("bar-store"), parent) {
    GroupBox7_1 = MakeGroupBox(this, "GroupBox7_1", QRect(8, 72, 433, 105));
    Label7_1 = MakeLabel(GroupBox7_1, "Label7_1", 8, 27);
    Edit7_1 = MakeEdit(GroupBox7_1, "Edit7_1", QRect(96, 24, 329, 21), true);
    Label7_2 = MakeLabel(GroupBox7_1, "Label7_2", 8, 51);
    Edit7_2 = MakeEdit(GroupBox7_1, "Edit7_2", QRect(96, 48, 113, 21), true);
    Label7_3 = MakeLabel(GroupBox7_1, "Label7_3", 224, 51);
    Edit7_3 = MakeEdit(GroupBox7_1, "Edit7_3", QRect(312, 48, 113, 21), true);
    Label7_4 = MakeLabel(GroupBox7_1, "Label7_4", 8, 75);
    Edit7_4 = MakeEdit(GroupBox7_1, "Edit7_4", QRect(96, 72, 113, 21), true);
    Label7_5 = MakeLabel(GroupBox7_1, "Label7_5", 224, 75);
    Edit7_5 = MakeEdit(GroupBox7_1, "Edit7_5", QRect(312, 72, 113, 21), true);

    GroupBox7_2 = MakeGroupBox(this, "GroupBox7_2", QRect(8, 184, 433, 169));
    Label7_6 = MakeLabel(GroupBox7_2, "Label7_6", 8, 27);
    SpinEdit7_1 = MakeSpinEdit(GroupBox7_2, "SpinEdit7_1", QRect(184, 24, 81, 22));
    Label7_7 = MakeLabel(GroupBox7_2, "Label7_7", 272, 27);
    Label7_8 = MakeLabel(GroupBox7_2, "Label7_8", 8, 55);
    SpinEdit7_2 = MakeSpinEdit(GroupBox7_2, "SpinEdit7_2", QRect(184, 52, 81, 22));
    Label7_9 = MakeLabel(GroupBox7_2, "Label7_9", 272, 55);
    Label7_10 = MakeLabel(GroupBox7_2, "Label7_10", 8, 83);
    SpinEdit7_3 = MakeSpinEdit(GroupBox7_2, "SpinEdit7_3", QRect(184, 80, 81, 22));
    Label7_11 = MakeLabel(GroupBox7_2, "Label7_11", 272, 83);
    Image7_2 = MakePicture(GroupBox7_2, "Image7_2", QStringLiteral("info"), QRect(8, 114, 20, 18));
    Label7_12 = MakeWrappedLabel(GroupBox7_2, "Label7_12", QRect(32, 112, 393, 50));

    Label7_13 = MakeLabel(this, "Label7_13", 10, 364);
    Label7_13->setFixedWidth(248);
    Button7_1 = MakeButton(this, "Button7_1", 264, 360);
    Button7_2 = MakeButton(this, "Button7_2", 352, 360);
}

void Panel7::LoadSettings() {
    SpinEdit7_1->SetValue(RunSettings.KEEPCOUNT);
    SpinEdit7_2->SetValue(RunSettings.KEEPDAYS);
    SpinEdit7_3->SetValue(RunSettings.KEEPMB);
    Edit7_1->setText(QString::fromStdString(RunSettings.DESTINATION));
    Edit7_1->setCursorPosition(0);
    MeasureAfter(false, false);
}

void Panel7::SaveRules() {
    const std::array<TSpinEdit*, 3> spins = {SpinEdit7_1, SpinEdit7_2, SpinEdit7_3};
    std::array<int32_t, 3> values{};
    for (size_t i = 0; i < spins.size(); ++i) {
        const std::optional<int32_t> value = RuleValue(spins[i]);
        if (!value) {
            ShowLine(Text("INVALID"));
            spins[i]->setFocus();
            return;
        }
        values[i] = *value;
    }
    const bool written = WriteSettingsValues("STORE", {{"KEEPCOUNT", std::to_string(values[0])},
                                                       {"KEEPDAYS", std::to_string(values[1])},
                                                       {"KEEPMB", std::to_string(values[2])}});
    FinishSave(written, this, saveFailureNotice_ ? saveFailureNotice_ : ShowWarning);
    if (written) {
        MeasureAfter(true, false);
    }
}

void Panel7::CleanUpNow() {
    MeasureAfter(true, true);
}

// Asks the store thread for the figures, after applying the rules in force when cleanUp; the
// panel shows them (and what the clean-up freed, when reportFreed) once they arrive.
void Panel7::MeasureAfter(bool cleanUp, bool reportFreed) {
    ++pending_;
    Button7_1->setEnabled(false);
    ShowLine(Text(cleanUp ? "CLEANING" : "MEASURING"));
    const QPointer<Panel7> panel(this);
    QueueRequest([panel, cleanUp, reportFreed, store = RunSettings.DESTINATION] {
        const TCleanupResult result = cleanUp ? ApplyKeepingRulesInForce() : TCleanupResult{};
        const TStoreFigures figures = MeasureStore(store);
        PostToWindow(panel, [result, figures, reportFreed](Panel7& shown) {
            shown.pending_ = std::max(0, shown.pending_ - 1);
            shown.Button7_1->setEnabled(shown.pending_ == 0);
            shown.ShowFigures(figures);
            if (reportFreed) {
                shown.ShowCleanup(result);
            }
        });
    });
}

void Panel7::ShowFigures(const TStoreFigures& figures) {
    Edit7_2->setText(ByteText(figures.DiskBytes));
    Edit7_3->setText(figures.FreeKnown ? ByteText(figures.FreeBytes) : QString());
    Edit7_4->setText(QString::number(figures.Files));
    Edit7_5->setText(QString::number(figures.Snapshots));
    if (pending_ == 0) {
        ShowLine(QString());
    }
}

void Panel7::ShowCleanup(const TCleanupResult& result) {
    if (RunSettings.KEEPCOUNT == 0 && RunSettings.KEEPDAYS == 0 && RunSettings.KEEPMB == 0) {
        ShowLine(Text("NORULES"));
        return;
    }
    const std::string text = LanguageText("PANEL7", "CLEANED", "GUI");
    const QString freed = ByteText(result.FreedBytes);
    ShowLine(QString::fromStdString(text)
                 .replace(QStringLiteral("$SIZE$"), freed, Qt::CaseInsensitive)
                 .replace(QStringLiteral("$COUNT$"), QString::number(result.Removed),
                          Qt::CaseInsensitive));
}

void Panel7::ShowLine(const QString& text) {
    Label7_13->setText(
        Label7_13->fontMetrics().elidedText(text, Qt::ElideRight, Label7_13->width()));
    Label7_13->setToolTip(text);
}

void Panel7::SetSaveFailureNotice(TMessageNotice notice) {
    saveFailureNotice_ = std::move(notice);
}
