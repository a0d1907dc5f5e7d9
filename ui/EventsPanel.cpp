#include "ui/EventsPanel.h"

#include <QHeaderView>

#include "ui/SettingsPanels.h"

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
    header->resizeSection(0, 80);
    header->resizeSection(1, 330);

    Button3_1 = MakeButton(this, "Button3_1", 352, 360);

    connect(ComboBoxEx3_1, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { ComboBoxEx3_1Select(); });
}

void Panel3::LoadSettings() {}

void Panel3::ComboBoxEx3_1Select() {}

void Panel3::DeleteChosenDay() {}
