#include "survey_table_view.h"

#include "text_codec.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <functional>

namespace qm {

namespace {
constexpr int kRowHeight = 13;

// Ends a model reset however the change in between ends, so begin and end always pair.
class ResetGuard {
public:
    ResetGuard(std::function<void()> begin, std::function<void()> end) : end_(std::move(end)) { begin(); }
    ~ResetGuard() { end_(); }
    ResetGuard(const ResetGuard&) = delete;
    ResetGuard& operator=(const ResetGuard&) = delete;

private:
    std::function<void()> end_;
};
} // namespace

SurveyTableModel::SurveyTableModel(SurveyTable& table, QObject* parent) : QAbstractTableModel(parent), table_(table) {}

int SurveyTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.RowCount();
}

int SurveyTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.ColumnCount();
}

QVariant SurveyTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= table_.RowCount())
        return {};
    const int column = index.column();
    if (column == 0)
        return DecodeText(table_.RowCaption(index.row()));
    if (column > table_.CellCount(index.row()))
        return {};
    return DecodeText(table_.Cell(index.row(), column));
}

QVariant SurveyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // Columns carry no captions; rows carry no numbers.
    Q_UNUSED(section);
    Q_UNUSED(orientation);
    if (role == Qt::DisplayRole)
        return QString();
    return {};
}

void SurveyTableModel::Clear()
{
    ResetGuard guard([this] { beginResetModel(); }, [this] { endResetModel(); });
    table_.Clear();
}

void SurveyTableModel::LoadFromCsv(const std::filesystem::path& path)
{
    // A failed read keeps the rows read before it, so the view is reset either way.
    ResetGuard guard([this] { beginResetModel(); }, [this] { endResetModel(); });
    table_.LoadFromCsv(path);
}

void SurveyTableModel::DeleteRow(int row)
{
    beginRemoveRows({}, row, row);
    table_.DeleteRow(row);
    endRemoveRows();
}

AdvListView::AdvListView(SurveyTable& table, QWidget* parent)
    : QTableView(parent), table_(table), model_(table_)
{
    setModel(&model_);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    verticalHeader()->hide();
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    horizontalHeader()->setFont(small);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setFixedHeight(kRowHeight);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultSectionSize(50);
}

void AdvListView::Clear()
{
    model_.Clear();
}

void AdvListView::LoadFromCsv(const std::filesystem::path& path)
{
    BeginUpdate();
    struct Done {
        AdvListView* view;
        ~Done()
        {
            view->ApplyColumnWidths();
            view->EndUpdate();
        }
    } done{this};
    model_.LoadFromCsv(path);
}

void AdvListView::DeleteRow(int row)
{
    // A deleted selected row leaves no selection (the view would otherwise select its neighbour,
    // and a second "del" would remove a reading the user never chose).
    const bool wasSelected = SelectedRow() == row;
    model_.DeleteRow(row);
    if (wasSelected)
        selectionModel()->clearSelection();
}

void AdvListView::SetColumnWidth(int column, int width)
{
    table_.SetColumnWidth(column, width);
    horizontalHeader()->resizeSection(column, width);
}

void AdvListView::ApplyColumnWidths()
{
    for (int c = 0; c < table_.ColumnCount(); ++c)
        horizontalHeader()->resizeSection(c, table_.ColumnWidth(c));
}

int AdvListView::SelectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : rows)
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void AdvListView::SetSelectedRow(int row)
{
    if (row < 0) {
        selectionModel()->clearSelection();
        return;
    }
    selectionModel()->select(model_.index(row, 0),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int AdvListView::FocusedRow() const
{
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void AdvListView::FocusRow(int row)
{
    selectionModel()->setCurrentIndex(model_.index(row, 0), QItemSelectionModel::NoUpdate);
}

void AdvListView::ShowRow(int row)
{
    SetSelectedRow(row);
    FocusRow(row);
    scrollTo(model_.index(row, 0), QAbstractItemView::EnsureVisible);
}

void AdvListView::BeginUpdate()
{
    if (updateDepth_++ == 0)
        setUpdatesEnabled(false);
}

void AdvListView::EndUpdate()
{
    if (updateDepth_ > 0 && --updateDepth_ == 0)
        setUpdatesEnabled(true);
}

void AdvListView::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Click();
}

void AdvListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DoubleClick();
}

} // namespace qm
