#pragma once
// The store panel (Panel7): where the store is, how much it holds and the room left on its disk,
// and the keeping rules with their save and an immediate clean-up. The figures are measured on
// the store thread and shown when they arrive.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

#include "store/KeepingRules.h"
#include "store/StoreContents.h"
#include "ui/PanelFrame.h"
#include "ui/SettingsPanels.h"
#include "ui/SpinEdit.h"

class Panel7 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel7(QWidget* parent);

    // Fills the rules from RunSettings (0 shows a rule that is off), shows the store folder and
    // asks the store thread for the figures. Called on every opening.
    void LoadSettings();
    // Button7_2: checks every rule (a whole number from 0 up), then writes STORE/KEEPCOUNT,
    // KEEPDAYS and KEEPMB into Settings.ini and rereads the settings; the rules are applied at
    // once and the figures measured again. A value that is no such number writes nothing and
    // says so; a failed write names Settings.ini, as the other panels do.
    void SaveRules();
    // Button7_1: applies the rules in force at once on the store thread, then says how much that
    // freed and shows the new figures.
    void CleanUpNow();
    // True while figures or a clean-up asked for here have not arrived yet.
    bool StoreWorkPending() const { return pending_ > 0; }

    void SetSaveFailureNotice(TMessageNotice notice);

    QGroupBox* GroupBox7_1 = nullptr;  // the store
    QLabel* Label7_1 = nullptr;
    QLineEdit* Edit7_1 = nullptr;  // folder
    QLabel* Label7_2 = nullptr;
    QLineEdit* Edit7_2 = nullptr;  // size on disk
    QLabel* Label7_3 = nullptr;
    QLineEdit* Edit7_3 = nullptr;  // free space on its disk
    QLabel* Label7_4 = nullptr;
    QLineEdit* Edit7_4 = nullptr;  // files
    QLabel* Label7_5 = nullptr;
    QLineEdit* Edit7_5 = nullptr;  // snapshots

    QGroupBox* GroupBox7_2 = nullptr;  // the keeping rules
    QLabel* Label7_6 = nullptr;
    TSpinEdit* SpinEdit7_1 = nullptr;  // KEEPCOUNT
    QLabel* Label7_7 = nullptr;
    QLabel* Label7_8 = nullptr;
    TSpinEdit* SpinEdit7_2 = nullptr;  // KEEPDAYS
    QLabel* Label7_9 = nullptr;
    QLabel* Label7_10 = nullptr;
    TSpinEdit* SpinEdit7_3 = nullptr;  // KEEPMB
    QLabel* Label7_11 = nullptr;
    QLabel* Image7_2 = nullptr;
    QLabel* Label7_12 = nullptr;  // advice

    QLabel* Label7_13 = nullptr;       // progress and outcome line
    QPushButton* Button7_1 = nullptr;  // clean up now
    QPushButton* Button7_2 = nullptr;  // save

  private:
    void MeasureAfter(bool cleanUp, bool reportFreed);
    void ShowFigures(const TStoreFigures& figures);
    void ShowCleanup(const TCleanupResult& result);
    void ShowLine(const QString& text);

    int pending_ = 0;
    TMessageNotice saveFailureNotice_;
};

// A byte count as the panel shows it: kB, MB or GB of 1000, with one decimal from MB up.
QString ByteText(std::int64_t bytes);
