#include "StringGrid.h"

#include "qzUtils.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <numeric>

namespace {
qint64 cellKey(int item, int column)
{
    return (qint64(item) << 8) | qint64(column);
}

constexpr int kCellMargin = 4; // text inset on each side of a cell
constexpr int kButtonInset = 2;
constexpr int kSampleRows = 400;

bool parseNumber(const QString &s, double &out)
{
    // Plain digits, the common case (EIDs, counts), without the locale's parser.
    if (!s.isEmpty() && s.size() <= 15) {
        double v = 0;
        bool digits = true;
        for (QChar ch : s) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
                digits = false;
                break;
            }
            v = v * 10 + (ch.unicode() - '0');
        }
        if (digits) {
            out = v;
            return true;
        }
    }
    bool ok = false;
    out = QLocale::c().toDouble(s.trimmed(), &ok);
    return ok;
}

// "mm/dd HH:NN ampm", with optional year and seconds: the grids' own date texts.
bool parseDate(const QString &s, double &out)
{
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})(?:/(\d{2,4}))?\s+(\d{1,2}):(\d{2})(?::(\d{2}))?\s*([AaPp][Mm])?\s*$)"));
    const QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch())
        return false;
    const int month = m.captured(1).toInt(), day = m.captured(2).toInt();
    const int year = m.captured(3).toInt();
    int hour = m.captured(4).toInt();
    const int minute = m.captured(5).toInt(), second = m.captured(6).toInt();
    const QString ampm = m.captured(7).toUpper();
    if (month < 1 || month > 12 || day < 1 || day > 31 || minute > 59 || second > 59)
        return false;
    if (!ampm.isEmpty()) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + (ampm == QLatin1String("PM") ? 12 : 0);
    } else if (hour > 23) {
        return false;
    }
    out = ((double(year) * 13 + month) * 32 + day) * 86400.0 + hour * 3600 + minute * 60 + second;
    return true;
}
} // namespace

void TGridModel::fill(std::vector<GridColumn> columns, std::vector<int> records)
{
    beginResetModel();
    m_columns = std::move(columns);
    m_records = std::move(records);
    m_order.resize(m_records.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    m_edited.clear();
    m_checked.clear();
    endResetModel();
}

void TGridModel::freeze()
{
    for (GridColumn &c : m_columns) {
        auto stored = [this](const std::function<QString(int)> &f) {
            auto texts = std::make_shared<QHash<int, QString>>();
            for (int r : m_records)
                texts->insert(r, f(r));
            return [texts](int r) { return texts->value(r); };
        };
        if (c.text)
            c.text = stored(c.text);
        if (c.button)
            c.button = stored(c.button);
        if (c.sortKey) {
            auto keys = std::make_shared<QHash<int, double>>();
            for (int r : m_records)
                keys->insert(r, c.sortKey(r));
            c.sortKey = [keys](int r) { return keys->value(r); };
        }
    }
}

void TGridModel::clear()
{
    fill({}, {});
}

int TGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int TGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString TGridModel::itemText(int item, int column) const
{
    const auto e = m_edited.constFind(cellKey(item, column));
    if (e != m_edited.constEnd())
        return *e;
    const GridColumn &c = m_columns[size_t(column)];
    return c.text ? c.text(m_records[size_t(item)]) : QString();
}

QString TGridModel::text(int row, int column) const
{
    return itemText(m_order[size_t(row)], column);
}

QString TGridModel::buttonCaption(int row, int column) const
{
    const GridColumn &c = m_columns[size_t(column)];
    return c.button ? c.button(recordAt(row)) : QString();
}

bool TGridModel::checked(int row, int column) const
{
    return m_checked.value(cellKey(m_order[size_t(row)], column), false);
}

int TGridModel::checkedCount(int column) const
{
    if (column < 0 || column >= columnCount() || !m_columns[size_t(column)].checkBox)
        return 0;
    int n = 0;
    for (auto it = m_checked.cbegin(); it != m_checked.cend(); ++it)
        n += (it.key() & 0xff) == column && it.value();
    return n;
}

QVariant TGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int col = index.column();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (m_columns[size_t(col)].button)
            return {}; // the painted button is the cell
        return text(index.row(), col);
    }
    if (role == Qt::CheckStateRole && m_columns[size_t(col)].checkBox)
        return checked(index.row(), col) ? Qt::Checked : Qt::Unchecked;
    return {};
}

QVariant TGridModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columnCount())
        return m_columns[size_t(section)].header;
    return QAbstractTableModel::headerData(section, o, role);
}

bool TGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid())
        return false;
    const int item = m_order[size_t(index.row())];
    if (role == Qt::CheckStateRole && m_columns[size_t(index.column())].checkBox) {
        const bool on = value.toInt() == Qt::Checked;
        m_checked[cellKey(item, index.column())] = on;
        emit dataChanged(index, index, {Qt::CheckStateRole});
        emit checkBoxChanged(index.row(), index.column(), on);
        return true;
    }
    if (role == Qt::EditRole && m_editable) {
        // Shown until the next fill; nothing reads it back into a record.
        m_edited[cellKey(item, index.column())] = value.toString();
        emit dataChanged(index, index);
        return true;
    }
    return false;
}

Qt::ItemFlags TGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return f;
    const GridColumn &c = m_columns[size_t(index.column())];
    if (c.checkBox)
        f |= Qt::ItemIsUserCheckable;
    else if (m_editable && !c.button)
        f |= Qt::ItemIsEditable;
    return f;
}

namespace {
TGridModel::SortKind recogniseTexts(const std::vector<QString> &texts)
{
    bool numbers = true, dates = true, any = false;
    for (const QString &t : texts) {
        if (!numbers && !dates)
            break;
        if (t.trimmed().isEmpty())
            continue;
        any = true;
        double v;
        if (numbers && !parseNumber(t, v))
            numbers = false;
        if (dates && !parseDate(t, v))
            dates = false;
    }
    if (!any || numbers)
        return TGridModel::SortKind::Number;
    return dates ? TGridModel::SortKind::Date : TGridModel::SortKind::Text;
}
} // namespace

TGridModel::SortKind TGridModel::recognise(int column) const
{
    std::vector<QString> texts(m_records.size());
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = itemText(int(i), column);
    return recogniseTexts(texts);
}

void TGridModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    const GridColumn &c = m_columns[size_t(column)];
    const size_t n = m_records.size();
    std::vector<int> items(n);
    std::iota(items.begin(), items.end(), 0);
    const bool desc = order == Qt::DescendingOrder;

    // Keys are computed once per row; ties keep the fill order in both directions.
    std::vector<double> keys(n);
    if (c.sortKey && m_edited.isEmpty()) {
        for (size_t i = 0; i < n; ++i)
            keys[i] = c.sortKey(m_records[i]);
    } else {
        std::vector<QString> texts(n);
        for (size_t i = 0; i < n; ++i)
            texts[i] = itemText(int(i), column);
        const SortKind kind = recogniseTexts(texts);
        if (kind == SortKind::Text) {
            std::stable_sort(items.begin(), items.end(), [&](int a, int b) {
                const int cmp = texts[size_t(a)].compare(texts[size_t(b)], Qt::CaseInsensitive);
                return desc ? cmp > 0 : cmp < 0;
            });
            beginResetModel();
            m_order = std::move(items);
            endResetModel();
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            double v = -std::numeric_limits<double>::infinity(); // empty cells first
            if (!texts[i].trimmed().isEmpty())
                kind == SortKind::Date ? parseDate(texts[i], v) : parseNumber(texts[i], v);
            keys[i] = v;
        }
    }
    std::stable_sort(items.begin(), items.end(), [&](int a, int b) {
        return desc ? keys[size_t(a)] > keys[size_t(b)] : keys[size_t(a)] < keys[size_t(b)];
    });
    beginResetModel();
    m_order = std::move(items);
    endResetModel();
}

TStringGrid::TStringGrid(QWidget *parent) : QTableView(parent), m_model(new TGridModel(this))
{
    setModel(m_model);
    setItemDelegate(new TGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setMouseTracking(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(ScrollPerPixel);
    verticalHeader()->hide();
    // Fixed row heights keep scrolling through 200,000 rows cheap.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(24);
    QHeaderView *h = horizontalHeader();
    h->setFixedHeight(HeaderHeight);
    h->setSectionsClickable(true);
    h->setHighlightSections(false);
    h->setSortIndicatorShown(false);
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setStretchLastSection(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(h, &QHeaderView::sectionClicked, this, &TStringGrid::headerClicked);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &TStringGrid::SelectionChanged);
    connect(m_model, &TGridModel::checkBoxChanged, this, [this](int row, int col, bool on) {
        emit CheckBoxChange(realToVisible(col), row + 1, on);
    });
    connect(this, &QAbstractItemView::clicked, this,
        [this](const QModelIndex &i) { emit ClickCell(i.row() + 1, realToVisible(i.column())); });
}

void TStringGrid::fill(std::vector<GridColumn> columns, std::vector<int> records)
{
    m_sortColumn = -1;
    horizontalHeader()->setSortIndicatorShown(false);
    m_hoverRow = -1;
    m_pressedButton = QPersistentModelIndex();
    for (int c = 0; c < m_model->columnCount(); ++c)
        setColumnHidden(c, false);
    m_model->fill(std::move(columns), std::move(records));
}

void TStringGrid::clearGrid()
{
    fill({}, {});
}

QString TStringGrid::Cells(int ACol, int ARow) const
{
    if (ACol < 0 || ACol >= m_model->columnCount() || ARow < 0 || ARow >= RowCount())
        return {};
    if (ARow == 0)
        return m_model->column(ACol).header;
    const GridColumn &c = m_model->column(ACol);
    return c.button ? m_model->buttonCaption(ARow - 1, ACol) : m_model->text(ARow - 1, ACol);
}

void TStringGrid::HideColumn(int ACol)
{
    setColumnHidden(ACol, true);
}

void TStringGrid::AutoSizeColumns(int extra)
{
    const int rows = m_model->rowCount();
    std::vector<int> sample;
    if (rows <= kSampleRows) {
        sample.resize(size_t(rows));
        std::iota(sample.begin(), sample.end(), 0);
    } else {
        // Evenly spread rows, first and last included: wide enough without reading them all.
        for (int i = 0; i < kSampleRows; ++i)
            sample.push_back(int(qint64(i) * (rows - 1) / (kSampleRows - 1)));
    }
    const QFontMetrics fm(font());
    QFont bold = horizontalHeader()->font();
    bold.setBold(true);
    const QFontMetrics hfm(bold);
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const GridColumn &col = m_model->column(c);
        int w = hfm.horizontalAdvance(col.header) + 2 * kCellMargin;
        for (int r : sample) {
            int cw;
            if (col.button) {
                const QString cap = m_model->buttonCaption(r, c);
                cw = cap.isEmpty() ? 0 : qMax(100, fm.horizontalAdvance(cap) + 24);
            } else {
                cw = fm.horizontalAdvance(m_model->text(r, c)) + 2 * kCellMargin;
            }
            if (col.checkBox)
                cw += indicator + kCellMargin;
            w = qMax(w, cw);
        }
        setColumnWidth(c, w + extra);
    }
}

int TStringGrid::visibleToReal(int visibleCol) const
{
    int v = -1;
    for (int c = 0; c < m_model->columnCount(); ++c)
        if (!isColumnHidden(c) && ++v == visibleCol)
            return c;
    return -1;
}

int TStringGrid::realToVisible(int realCol) const
{
    if (realCol < 0 || isColumnHidden(realCol))
        return -1;
    int v = 0;
    for (int c = 0; c < realCol; ++c)
        v += !isColumnHidden(c);
    return v;
}

void TStringGrid::SortByColumn(int ACol, Qt::SortOrder order)
{
    // The selection follows its records, not the row numbers.
    const std::vector<char> mask = selectedMask();
    std::vector<char> selectedRecords;
    int maxRecord = -1;
    for (int r = 0; r < m_model->rowCount(); ++r)
        maxRecord = qMax(maxRecord, m_model->recordAt(r));
    selectedRecords.assign(size_t(maxRecord + 1), 0);
    for (int r = 0; r < m_model->rowCount(); ++r)
        if (mask[size_t(r)])
            selectedRecords[size_t(m_model->recordAt(r))] = 1;
    const int currentRecord
        = currentIndex().isValid() ? m_model->recordAt(currentIndex().row()) : -1;
    const int currentColumn = currentIndex().isValid() ? currentIndex().column() : 0;

    m_model->sort(ACol, order);
    m_sortColumn = ACol;
    m_sortOrder = order;
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(ACol, order);

    std::vector<int> rows;
    int current = -1;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const int rec = m_model->recordAt(r);
        if (selectedRecords[size_t(rec)])
            rows.push_back(r + 1);
        if (rec == currentRecord)
            current = r;
    }
    const QSignalBlocker block(selectionModel());
    if (current >= 0)
        selectionModel()->setCurrentIndex(
            m_model->index(current, currentColumn), QItemSelectionModel::NoUpdate);
    SelectRows(rows);
}

void TStringGrid::headerClicked(int section)
{
    const Qt::SortOrder order = section == m_sortColumn && m_sortOrder == Qt::AscendingOrder
        ? Qt::DescendingOrder
        : Qt::AscendingOrder;
    SortByColumn(section, order);
}

std::vector<char> TStringGrid::selectedMask() const
{
    std::vector<char> mask(size_t(m_model->rowCount()), 0);
    for (const QItemSelectionRange &range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            mask[size_t(r)] = 1;
    return mask;
}

bool TStringGrid::RowSelected(int ARow) const
{
    if (ARow < 1 || ARow >= RowCount())
        return false;
    return selectionModel()->isRowSelected(ARow - 1, {})
        || selectionModel()->isSelected(m_model->index(ARow - 1, 0));
}

int TStringGrid::SelectedRowCount() const
{
    const std::vector<char> mask = selectedMask();
    return int(std::count(mask.begin(), mask.end(), 1));
}

void TStringGrid::SelectRows(const std::vector<int> &rows)
{
    QItemSelection sel;
    const int last = m_model->columnCount() - 1;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        sel.select(m_model->index(rows[i] - 1, 0), m_model->index(rows[j] - 1, last));
        i = j + 1;
    }
    selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
}

void TStringGrid::ClearRowSelect()
{
    selectionModel()->clearSelection();
}

QRect TStringGrid::buttonRect(int ACol, int ARow) const
{
    const QModelIndex i = m_model->index(ARow - 1, ACol);
    if (!i.isValid() || m_model->buttonCaption(i.row(), ACol).isEmpty())
        return {};
    return visualRect(i).adjusted(kButtonInset, kButtonInset, -kButtonInset, -kButtonInset);
}

bool TStringGrid::buttonAt(const QPoint &pos, QModelIndex *index) const
{
    const QModelIndex i = indexAt(pos);
    if (!i.isValid() || !m_model->column(i.column()).button)
        return false;
    if (!buttonRect(i.column(), i.row() + 1).contains(pos))
        return false;
    *index = i;
    return true;
}

void TStringGrid::mousePressEvent(QMouseEvent *e)
{
    QModelIndex i;
    if (e->button() == Qt::LeftButton && buttonAt(e->position().toPoint(), &i)) {
        m_pressedButton = i;
        viewport()->update(visualRect(i));
        return; // a button press does not move the selection
    }
    QTableView::mousePressEvent(e);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent *e)
{
    if (m_pressedButton.isValid()) {
        const QModelIndex pressed = m_pressedButton;
        m_pressedButton = QPersistentModelIndex();
        viewport()->update(visualRect(pressed));
        QModelIndex i;
        if (buttonAt(e->position().toPoint(), &i) && i == pressed)
            emit ButtonClick(realToVisible(i.column()), i.row() + 1);
        return;
    }
    QTableView::mouseReleaseEvent(e);
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent *e)
{
    QModelIndex i;
    if (buttonAt(e->position().toPoint(), &i)) {
        mousePressEvent(e); // a quick second click on a button is another click
        return;
    }
    const QModelIndex cell = indexAt(e->position().toPoint());
    QTableView::mouseDoubleClickEvent(e);
    if (cell.isValid())
        emit DblClickCell(cell.row() + 1, realToVisible(cell.column()));
}

void TStringGrid::setHoverRow(int row)
{
    if (row == m_hoverRow)
        return;
    const int old = m_hoverRow;
    m_hoverRow = row;
    const int w = viewport()->width();
    for (int r : {old, row})
        if (r > 0)
            viewport()->update(0, rowViewportPosition(r - 1), w, rowHeight(r - 1));
}

void TStringGrid::mouseMoveEvent(QMouseEvent *e)
{
    const QModelIndex i = indexAt(e->position().toPoint());
    setHoverRow(i.isValid() ? i.row() + 1 : -1);
    QTableView::mouseMoveEvent(e);
}

void TStringGrid::leaveEvent(QEvent *e)
{
    setHoverRow(-1);
    QTableView::leaveEvent(e);
}

QString TStringGrid::hintAt(const QPoint &viewportPos) const
{
    const QModelIndex i = indexAt(viewportPos);
    if (!i.isValid())
        return {};
    QString hint;
    if (OnGridHint)
        OnGridHint(i.row() + 1, realToVisible(i.column()), hint);
    return hint;
}

bool TStringGrid::viewportEvent(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        const auto *he = static_cast<QHelpEvent *>(e);
        const QString hint = hintAt(he->pos());
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(he->globalPos(), hint, viewport());
        return true;
    }
    return QTableView::viewportEvent(e);
}

void TGridDelegate::paint(
    QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    const bool hover = m_grid->hoverRow() == index.row() + 1;
    if (hover && !(opt.state & QStyle::State_Selected))
        p->fillRect(opt.rect, QColor(0xe5, 0xf1, 0xfb));
    opt.state &= ~QStyle::State_HasFocus;
    opt.state &= ~QStyle::State_MouseOver; // the whole row is highlighted instead
    const TGridModel *model = m_grid->gridModel();
    const QString caption = model->column(index.column()).button
        ? model->buttonCaption(index.row(), index.column())
        : QString();
    if (caption.isEmpty()) {
        QStyledItemDelegate::paint(p, opt, index);
        return;
    }
    if (opt.state & QStyle::State_Selected)
        p->fillRect(opt.rect, opt.palette.highlight());
    QStyleOptionButton b;
    b.initFrom(m_grid);
    b.rect = opt.rect.adjusted(2, 2, -2, -2);
    b.text = caption;
    b.state = QStyle::State_Enabled | QStyle::State_Raised;
    if (m_grid->m_pressedButton == index)
        b.state = (b.state & ~QStyle::State_Raised) | QStyle::State_Sunken;
    m_grid->style()->drawControl(QStyle::CE_PushButton, &b, p, m_grid);
}

QString gridDateText(double dt, bool seconds)
{
    // Wall-clock fields straight from the day count: no zone, so no skipped hours.
    const QDateTime t = toQDateTime(dt, Qt::UTC);
    const QDate d = t.date();
    const QTime tm = t.time();
    static const QString am = QLocale().amText(), pm = QLocale().pmText();
    const int h12 = tm.hour() % 12 == 0 ? 12 : tm.hour() % 12;
    QString s = QString::asprintf("%02d/%02d %02d:%02d", d.month(), d.day(), h12, tm.minute());
    if (seconds)
        s += QString::asprintf(":%02d", tm.second());
    return s + QLatin1Char(' ') + (tm.hour() < 12 ? am : pm);
}
