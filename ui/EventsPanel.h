#pragma once
// The events panel (Panel3): a day list and the records of the chosen day in a two-column list.
#include <QAbstractTableModel>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/DayLog.h"
#include "ui/PanelFrame.h"
#include "ui/Pictures.h"

// One record of the shown day.
struct TLogRow {
    std::string TimeText;    // time of the record, as written
    std::string EventText;   // log message text with its file filled in
    int32_t ImageIndex = 0;  // image of ImageList16
};

// The rows of TreeView3_1: column 0 the time with the record's image, column 1 the event text.
// The rows of the shown day are made on demand from its file (only the rows in sight are ever
// read back), so a day of a million records costs little memory.
class TLogRowModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit TLogRowModel(QObject* parent);

    void Clear();
    // Shows the records of a day (one reset of the view).
    void ShowDay(TDayLog day);
    // Row r (below rowCount()) as it is shown.
    TLogRow Row(int r) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

  private:
    TDayLog day_;
    // The last row made: the view asks for several cells of one row in a row.
    mutable int cachedRow_ = -1;
    mutable TLogRow cached_;
    std::array<QString, 2> headers_;
    std::array<QIcon, kImageListSize> images_;
};

class Panel3 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel3(QWidget* parent);

    // Fills the panel: the days of LogsDir in ComboBoxEx3_1 (or the no-log item), the first day
    // shown, Button3_1 enabled exactly when a day is listed. Called on every opening.
    void LoadSettings();
    // Shows the records of a day (a log file's name without ".log"). False when that file does
    // not exist; the rows shown stay then.
    bool ShowLOG(const std::string& day);
    // ComboBoxEx3_1's selection: shows the chosen day.
    void ComboBoxEx3_1Select();
    // Button3_1: deletes the chosen day's log file without a question, then fills the panel again.
    void DeleteChosenDay();

    TLogRowModel* Rows() const { return rows_; }

    QLabel* Label3_1 = nullptr;  // right-aligned, right edge at 257
    QComboBox* ComboBoxEx3_1 = nullptr;
    QTreeView* TreeView3_1 = nullptr;
    QPushButton* Button3_1 = nullptr;  // delete the day's log

  private:
    // The day of the selected item; false for the no-log item.
    bool ChosenDay(std::string& day) const;
    // Widens the time column when the shown times do not fit it (see EventsPanel.cpp).
    void FitTimeColumn();

    TLogRowModel* rows_ = nullptr;
};

// The row shown for a record read back from a day's file: its time, the text of its code with
// the file in place of "$FILE$", its image. A code without a text shows "code N" followed by the
// file; a line that does not follow the format shows what could be read with the warning image.
TLogRow LogRowOf(const TLogLine& record);
