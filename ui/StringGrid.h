#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <vector>

// One column of a TStringGrid. Cells are asked for by record position (the number the
// hidden index column shows), so a list of 200,000 records is never turned into texts as a
// whole; only the cells on screen, the sampled ones and a sorted column are.
struct GridColumn
{
    QString header;
    std::function<QString(int record)> text;
    // The caption of a button painted in the cell; empty for no button.
    std::function<QString(int record)> button;
    // What a header click sorts by; without it the column's texts are recognised as
    // numbers, dates or text.
    std::function<double(int record)> sortKey;
    bool checkBox = false;
};

class TGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Rows in fill order, each showing the record at that position of the caller's list.
    void fill(std::vector<GridColumn> columns, std::vector<int> records);
    // Turns every cell into stored text, so the grid no longer reads the caller's list.
    void freeze();
    void clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order) override;

    int recordAt(int row) const { return m_records[size_t(m_order[size_t(row)])]; }
    QString text(int row, int column) const;
    QString buttonCaption(int row, int column) const;
    bool checked(int row, int column) const;
    int checkedCount(int column) const;
    const GridColumn &column(int c) const { return m_columns[size_t(c)]; }
    void setEditable(bool on) { m_editable = on; }

    enum class SortKind { Number, Date, Text };
    // How a header click on the column would compare its cells.
    SortKind recognise(int column) const;

signals:
    void checkBoxChanged(int row, int column, bool state);

private:
    QString itemText(int item, int column) const;

    std::vector<GridColumn> m_columns;
    std::vector<int> m_records; // by item (fill order)
    std::vector<int> m_order; // display row -> item
    QHash<qint64, QString> m_edited; // in-place edits by item and column
    QHash<qint64, bool> m_checked;
    bool m_editable = false;
};

// The grid of the main window's pages: a string grid with painted cell buttons, check
// boxes, hidden columns, header-click sorting, row selection and a hover highlight.
// Rows are numbered as the handlers expect: row 0 is the header, data rows start at 1.
// Events report columns by visible position (hidden columns not counted).
class TStringGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TStringGrid(QWidget *parent = nullptr);

    TGridModel *gridModel() const { return m_model; }
    void fill(std::vector<GridColumn> columns, std::vector<int> records);
    void freeze() { m_model->freeze(); }
    // No rows, no columns, no sort.
    void clearGrid();

    int RowCount() const { return m_model->rowCount() + 1; } // header row included
    int ColCount() const { return m_model->columnCount(); }
    // The text of a cell by real column; row 0 is the header.
    QString Cells(int ACol, int ARow) const;
    void HideColumn(int ACol);
    // Widths fitted to header and content plus extra pixels, from a sample of the rows.
    void AutoSizeColumns(int extra = 8);

    int visibleToReal(int visibleCol) const;
    int realToVisible(int realCol) const;

    void SortByColumn(int ACol, Qt::SortOrder order);
    int sortColumn() const { return m_sortColumn; }

    bool RowSelected(int ARow) const;
    int SelectedRowCount() const;
    // One flag per data row, in displayed order.
    std::vector<char> selectedMask() const;
    void SelectRows(const std::vector<int> &rows); // grid rows, 1 and up
    void ClearRowSelect();

    int hoverRow() const { return m_hoverRow; } // grid row, -1 when none
    // The hint for a viewport position, after OnGridHint had its say.
    QString hintAt(const QPoint &viewportPos) const;
    // The viewport rectangle of the button in a cell (real column, grid row).
    QRect buttonRect(int ACol, int ARow) const;

    // ARow, visible ACol, hint: the page may replace the grid's own (empty) hint.
    std::function<void(int, int, QString &)> OnGridHint;

    static constexpr int HeaderHeight = 22;

signals:
    void ButtonClick(int ACol, int ARow);
    void ClickCell(int ARow, int ACol);
    void DblClickCell(int ARow, int ACol);
    void SelectionChanged();
    void CheckBoxChange(int ACol, int ARow, bool state);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *e) override;
    bool viewportEvent(QEvent *e) override;

private:
    bool buttonAt(const QPoint &pos, QModelIndex *index) const;
    void setHoverRow(int row);
    void headerClicked(int section);

    friend class TGridDelegate;
    TGridModel *m_model = nullptr;
    int m_hoverRow = -1;
    QPersistentModelIndex m_pressedButton;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

class TGridDelegate : public QStyledItemDelegate
{
public:
    explicit TGridDelegate(TStringGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) { }
    void paint(
        QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    TStringGrid *m_grid;
};

// "mm/dd HH:NN ampm", or "mm/dd hh:NN:SS ampm" with seconds: the date as its wall-clock
// fields say, on the 12-hour clock with the locale's morning or afternoon designator.
QString gridDateText(double dt, bool seconds);
