#include "ui/EventsPanel.h"

#include <QByteArray>
#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/EventCodes.h"
#include "core/Paths.h"
#include "ui/SettingsPanels.h"
#include "ui/TextTables.h"

namespace {

constexpr int kTimeColumnWidth = 80;
constexpr int kEventColumnWidth = 330;
// The widest the time column grows by itself: a third of the list.
constexpr int kMaxTimeColumnWidth = 144;
// The raw name of a day item, kept beside its caption: a file name that is not valid UTF-8
// would not survive the way back from the caption.
constexpr int kDayRole = Qt::UserRole;

// "code N", or "code ?" when the field was not a number, followed by the file when there is one.
std::string UntextedEvent(const TLogRecord& record) {
    const bool codeRead = record.WellFormed || record.Code != 0;
    std::string text = "code " + (codeRead ? std::to_string(record.Code) : std::string("?"));
    if (!record.FileText.empty()) {
        text += ": " + record.FileText;
    }
    return text;
}

// The day of a log file path: its file name without the extension.
std::string DayOfPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

}  // namespace

TLogRow LogRowOf(const TLogRecord& record) {
    TLogRow row;
    row.TimeText = record.TimeText;
    const bool hasText =
        record.Code >= 1 && record.Code <= static_cast<int>(TextTables.LogMessages.size());
    row.EventText = hasText ? SubstituteFile(LogMessageText(record.Code), record.FileText)
                            : UntextedEvent(record);
    row.ImageIndex = record.WellFormed ? record.ImageIndex : kImageWarning;
    return row;
}

TLogRowModel::TLogRowModel(QObject* parent) : QAbstractTableModel(parent) {
    for (int i = 0; i < kImageListSize; ++i) {
        images_[static_cast<size_t>(i)] = ImageList16Icon(i);
    }
}

void TLogRowModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TLogRowModel::SetRows(std::vector<TLogRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void TLogRowModel::AddRow(TLogRow row) {
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

int TLogRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TLogRowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TLogRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) {
        return {};
    }
    const TLogRow& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(index.column() == 0 ? row.TimeText : row.EventText);
    }
    if (role == Qt::DecorationRole && index.column() == 0 && row.ImageIndex >= 0 &&
        row.ImageIndex < kImageListSize) {
        return images_[static_cast<size_t>(row.ImageIndex)];
    }
    return {};
}

QVariant TLogRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 2) {
        return headers_[static_cast<size_t>(section)];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool TLogRowModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                 int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= 2 ||
        (role != Qt::EditRole && role != Qt::DisplayRole)) {
        return false;
    }
    headers_[static_cast<size_t>(section)] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Panel3::Panel3(QWidget* parent)
    : PanelFrame(3, QStringLiteral("Panel3_1"), QStringLiteral("bar-notes"), parent) {
    Label3_1 = MakeLabel(this, "Label3_1", 8, 74);
    Label3_1->setProperty("fixedGeometry", true);
    Label3_1->setGeometry(8, 74, 257 - 8, 16);
    Label3_1->setAlignment(Qt::AlignRight | Qt::AlignTop);

    ComboBoxEx3_1 = new QComboBox(this);
    ComboBoxEx3_1->setObjectName(QStringLiteral("ComboBoxEx3_1"));
    ComboBoxEx3_1->setGeometry(264, 70, 177, 22);
    ComboBoxEx3_1->setEditable(false);
    ComboBoxEx3_1->setMaxVisibleItems(8);
    ComboBoxEx3_1->setIconSize(QSize(16, 16));

    rows_ = new TLogRowModel(this);
    TreeView3_1 = new QTreeView(this);
    TreeView3_1->setObjectName(QStringLiteral("TreeView3_1"));
    TreeView3_1->setGeometry(8, 98, 433, 255);
    TreeView3_1->setModel(rows_);
    TreeView3_1->setRootIsDecorated(false);
    TreeView3_1->setItemsExpandable(false);
    TreeView3_1->setUniformRowHeights(true);
    TreeView3_1->setSortingEnabled(false);
    TreeView3_1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TreeView3_1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView3_1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView3_1->setIconSize(QSize(16, 16));
    TreeView3_1->setAllColumnsShowFocus(true);
    QHeaderView* header = TreeView3_1->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsMovable(false);
    header->resizeSection(0, kTimeColumnWidth);
    header->resizeSection(1, kEventColumnWidth);

    Button3_1 = MakeButton(this, "Button3_1", 352, 360);

    connect(ComboBoxEx3_1, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { ComboBoxEx3_1Select(); });
}

namespace {

// The day logs of LogsDir, newest first: by the file's modification time (its name is a date in
// whatever format was in force, which cannot be read back), the name breaking ties.
std::vector<std::string> DayLogsNewestFirst() {
    struct TDayFile {
        std::string Path;
        std::filesystem::file_time_type Modified;
    };
    std::vector<TDayFile> files;
    for (const std::string& path : ListFiles(LogsDir, "*.log")) {
        std::error_code error;
        const auto modified = std::filesystem::last_write_time(path, error);
        files.push_back({path, error ? std::filesystem::file_time_type::min() : modified});
    }
    std::stable_sort(files.begin(), files.end(), [](const TDayFile& a, const TDayFile& b) {
        return a.Modified != b.Modified ? a.Modified > b.Modified : a.Path > b.Path;
    });
    std::vector<std::string> paths;
    for (TDayFile& file : files) {
        paths.push_back(std::move(file.Path));
    }
    return paths;
}

}  // namespace

void Panel3::LoadSettings() {
    ComboBoxEx3_1->clear();
    rows_->Clear();
    const std::vector<std::string> paths = DayLogsNewestFirst();
    if (paths.empty()) {
        ComboBoxEx3_1->addItem(ImageList16Icon(kImageError),
                               QString::fromStdString(TextTables.NoLogText));
        ComboBoxEx3_1->setCurrentIndex(0);
        Button3_1->setEnabled(false);
        return;
    }
    const QIcon dayIcon = ImageList16Icon(kImageDay);
    for (const std::string& path : paths) {
        const std::string day = DayOfPath(path);
        ComboBoxEx3_1->addItem(dayIcon, QString::fromStdString(day),
                               QByteArray::fromStdString(day));
    }
    ComboBoxEx3_1->setCurrentIndex(0);
    ShowLOG(DayOfPath(paths.front()));
    Button3_1->setEnabled(true);
}

bool Panel3::ShowLOG(const std::string& day) {
    std::vector<TLogRecord> records;
    if (!ReadDayLog(DayLogPath(day), records)) {
        return false;
    }
    std::vector<TLogRow> rows;
    rows.reserve(records.size());
    for (const TLogRecord& record : records) {
        rows.push_back(LogRowOf(record));
    }
    rows_->SetRows(std::move(rows));
    TreeView3_1->scrollToTop();  // every day is read from its first record
    TreeView3_1->horizontalScrollBar()->setValue(0);
    FitTimeColumn();
    return true;
}

// Each day shown starts from the columns' own widths, 80 and 330. Times of a 12-hour format,
// with their AM/PM mark, do not fit 80 pixels in this font: the time column then widens to fit
// the shown day's times (up to a limit, so an odd line cannot crowd out the events), and the
// event column gives up as much, so the list gets no sideways scroll bar.
void Panel3::FitTimeColumn() {
    QHeaderView* header = TreeView3_1->header();
    header->resizeSection(0, kTimeColumnWidth);
    header->resizeSection(1, kEventColumnWidth);
    const QAbstractItemView* view = TreeView3_1;  // the tree view hides its measure
    const int wanted = std::min(view->sizeHintForColumn(0), kMaxTimeColumnWidth);
    const int shortfall = wanted - kTimeColumnWidth;
    if (shortfall <= 0) {
        return;
    }
    header->resizeSection(0, wanted);
    header->resizeSection(1, kEventColumnWidth - shortfall);
}

bool Panel3::ChosenDay(std::string& day) const {
    const QVariant data = ComboBoxEx3_1->currentData(kDayRole);
    if (!data.isValid()) {
        return false;
    }
    day = data.toByteArray().toStdString();
    return true;
}

void Panel3::ComboBoxEx3_1Select() {
    std::string day;
    if (ChosenDay(day)) {
        ShowLOG(day);
    }
}

// The deletion is not confirmed and its result not looked at: a file that stays is listed again.
void Panel3::DeleteChosenDay() {
    std::string day;
    if (!ChosenDay(day)) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(DayLogPath(day), ignored);
    LoadSettings();
}
