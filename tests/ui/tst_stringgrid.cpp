#include "PagesFixture.h"
#include "UiTestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>

namespace {
// A grid over a list of texts: column 0 the hidden index, column 1 the text, column 2 a
// button on every other record, column 3 a check box.
std::unique_ptr<TStringGrid> gridOver(const QStringList &values, bool buttons = false)
{
    auto g = std::make_unique<TStringGrid>();
    g->resize(600, 400);
    std::vector<GridColumn> cols(buttons ? 4 : 2);
    cols[0] = {QStringLiteral("Index"), [](int i) { return QString::number(i); }};
    cols[1] = {QStringLiteral("Value"), [values](int i) { return values[i]; }};
    if (buttons) {
        cols[2].button = [](int i) { return i % 2 == 0 ? QStringLiteral(" Press ") : QString(); };
        cols[3].header = QStringLiteral("Tick");
        cols[3].checkBox = true;
    }
    std::vector<int> rows(size_t(values.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    g->fill(std::move(cols), std::move(rows));
    g->HideColumn(0);
    g->AutoSizeColumns(8);
    g->show();
    return g;
}

QStringList column(const TStringGrid &g, int col)
{
    QStringList out;
    for (int r = 1; r < g.RowCount(); ++r)
        out << g.Cells(col, r);
    return out;
}
} // namespace

class TstStringGrid : public QObject
{
    Q_OBJECT

private slots:
    void headerClickSortsByRecognisedFormat_data();
    void headerClickSortsByRecognisedFormat();
    void sortKeyWinsOverText();
    void rowSelection();
    void selectionFollowsItsRecordsThroughASort();
    void paintedButtonsReportVisibleColumns();
    void checkBoxes();
    void hoverRowAndHints();
    void widthsFitContentFromASample();
    void inPlaceEditsLastUntilTheNextFill();
};

void TstStringGrid::headerClickSortsByRecognisedFormat_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("ascending");
    QTest::newRow("numbers") << QStringList {"10", "9", "-1.5", "100", ""}
                             << QStringList {"", "-1.5", "9", "10", "100"};
    QTest::newRow("dates") << QStringList {"12/01 01:00 PM", "02/03 09:00 AM", "12/01 12:30 AM",
        "02/03 11:59:59 AM"}
                           << QStringList {"02/03 09:00 AM", "02/03 11:59:59 AM", "12/01 12:30 AM",
                                  "12/01 01:00 PM"};
    QTest::newRow("text") << QStringList {"pen b", "Pen A", "10 yards", "pen c"}
                          << QStringList {"10 yards", "Pen A", "pen b", "pen c"};
}

void TstStringGrid::headerClickSortsByRecognisedFormat()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, ascending);
    auto g = gridOver(values);
    clickHeader(g.get(), 1);
    QCOMPARE(column(*g, 1), ascending);
    // The hidden index still names each row's record.
    for (int r = 1; r < g->RowCount(); ++r)
        QCOMPARE(values[g->Cells(0, r).toInt()], g->Cells(1, r));
    QVERIFY(g->horizontalHeader()->isSortIndicatorShown());
    clickHeader(g.get(), 1);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    QCOMPARE(column(*g, 1), descending);
    QCOMPARE(g->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

void TstStringGrid::sortKeyWinsOverText()
{
    // Year-less date texts across a new year: the value sorts, not the text.
    const std::vector<double> dates {45292.5, 45291.5, 45293.5}; // 2024-01-01, 2023-12-31, ...
    TStringGrid g;
    std::vector<GridColumn> cols(2);
    cols[0] = {QStringLiteral("Index"), [](int i) { return QString::number(i); }};
    cols[1]
        = {QStringLiteral("Date"), [dates](int i) { return gridDateText(dates[size_t(i)], false); },
            {}, [dates](int i) { return dates[size_t(i)]; }};
    g.fill(std::move(cols), {0, 1, 2});
    g.SortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(column(g, 0), QStringList({"1", "0", "2"}));
    QCOMPARE(g.Cells(1, 1), QStringLiteral("12/31 12:00 PM"));
}

void TstStringGrid::rowSelection()
{
    auto g = gridOver({"a", "b", "c", "d", "e", "f"});
    g->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QSignalSpy changed(g.get(), &TStringGrid::SelectionChanged);
    clickCell(g.get(), 1, 2);
    QCOMPARE(g->SelectedRowCount(), 1);
    QVERIFY(g->RowSelected(2));
    clickCell(g.get(), 1, 4, Qt::ShiftModifier); // range 2..4
    QCOMPARE(g->SelectedRowCount(), 3);
    clickCell(g.get(), 1, 6, Qt::ControlModifier); // disjunct
    clickCell(g.get(), 1, 3, Qt::ControlModifier); // and one taken out again
    QCOMPARE(g->SelectedRowCount(), 3);
    const std::vector<char> mask = g->selectedMask();
    QCOMPARE(mask, (std::vector<char> {0, 1, 0, 1, 0, 1}));
    QVERIFY(changed.count() >= 4);
    clickCell(g.get(), 1, 1); // a plain click starts over
    QCOMPARE(g->SelectedRowCount(), 1);
    g->ClearRowSelect();
    QCOMPARE(g->SelectedRowCount(), 0);
}

void TstStringGrid::selectionFollowsItsRecordsThroughASort()
{
    auto g = gridOver({"30", "10", "20", "40"});
    g->setSelectionMode(QAbstractItemView::ExtendedSelection);
    g->SelectRows({1, 4}); // "30" and "40"
    clickHeader(g.get(), 1);
    QCOMPARE(column(*g, 1), QStringList({"10", "20", "30", "40"}));
    QCOMPARE(g->selectedMask(), (std::vector<char> {0, 0, 1, 1}));
}

void TstStringGrid::paintedButtonsReportVisibleColumns()
{
    auto g = gridOver({"a", "b", "c"}, true);
    // Painted, not a widget per cell.
    QVERIFY(!g->indexWidget(g->model()->index(0, 2)));
    QCOMPARE(g->Cells(2, 1), QStringLiteral(" Press "));
    QCOMPARE(g->Cells(2, 2), QString());
    QVERIFY(!g->buttonRect(2, 2).isValid());
    QSignalSpy clicks(g.get(), &TStringGrid::ButtonClick);
    QSignalSpy cells(g.get(), &TStringGrid::ClickCell);
    clickButton(g.get(), 2, 3);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks[0][0].toInt(), 1); // visible column: the hidden index is not counted
    QCOMPARE(clicks[0][1].toInt(), 3);
    QCOMPARE(g->SelectedRowCount(), 0); // a button press leaves the selection alone
    // A press that leaves the button is no click; a cell without a button is a cell click.
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, g->buttonRect(2, 1).center());
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, cellCentre(g.get(), 1, 1));
    QCOMPARE(clicks.count(), 1);
    clickCell(g.get(), 2, 2);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(cells.count(), 1);
    QCOMPARE(cells[0][0].toInt(), 2);
    QCOMPARE(cells[0][1].toInt(), 1);
    QVERIFY(!g->grab().isNull()); // painting the buttons works
}

void TstStringGrid::checkBoxes()
{
    auto g = gridOver({"a", "b", "c"}, true);
    QSignalSpy changed(g.get(), &TStringGrid::CheckBoxChange);
    QVERIFY(g->model()->setData(g->model()->index(1, 3), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(g->gridModel()->checkedCount(3), 1);
    QCOMPARE(g->gridModel()->checkedCount(1), 0); // no check boxes there
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].toInt(), 2);
    QCOMPARE(changed[0][1].toInt(), 2);
    QCOMPARE(changed[0][2].toBool(), true);
    // The tick belongs to its record, wherever a sort puts it.
    g->SortByColumn(1, Qt::DescendingOrder);
    QCOMPARE(g->Cells(1, 2), QStringLiteral("b"));
    QCOMPARE(g->model()->index(1, 3).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void TstStringGrid::hoverRowAndHints()
{
    auto g = gridOver({"a", "b", "c"});
    QCOMPARE(g->hoverRow(), -1);
    QTest::mouseMove(g->viewport(), cellCentre(g.get(), 1, 2));
    QTRY_COMPARE(g->hoverRow(), 2);
    QCOMPARE(g->hintAt(cellCentre(g.get(), 1, 2)), QString());
    g->OnGridHint = [](int ARow, int ACol, QString &hint) {
        hint = QStringLiteral("row %1 col %2").arg(ARow).arg(ACol);
    };
    QCOMPARE(g->hintAt(cellCentre(g.get(), 1, 3)), QStringLiteral("row 3 col 0"));
}

void TstStringGrid::widthsFitContentFromASample()
{
    auto g = gridOver({"x", "a much longer text here", "y"});
    const QFontMetrics fm(g->font());
    QVERIFY(
        g->columnWidth(1) >= fm.horizontalAdvance(QStringLiteral("a much longer text here")) + 8);
    QVERIFY(
        g->columnWidth(1) <= fm.horizontalAdvance(QStringLiteral("a much longer text here")) + 20);

    // 200,000 rows: only a sample is measured, so it stays quick; the first and last row
    // are in the sample.
    QStringList many;
    for (int i = 0; i < 200000; ++i)
        many << QStringLiteral("r%1").arg(i % 100);
    many.last() = QStringLiteral("the widest row of them all, at the end");
    auto big = gridOver(many);
    QElapsedTimer t;
    t.start();
    big->AutoSizeColumns(8);
    QVERIFY2(t.elapsed() < 500, qPrintable(QString::number(t.elapsed())));
    QVERIFY(big->columnWidth(1) >= fm.horizontalAdvance(many.last()) + 8);
    QCOMPARE(big->RowCount(), 200001);
}

void TstStringGrid::inPlaceEditsLastUntilTheNextFill()
{
    auto g = gridOver({"a", "b"});
    g->gridModel()->setEditable(true);
    QVERIFY(g->model()->setData(g->model()->index(0, 1), QStringLiteral("typed"), Qt::EditRole));
    QCOMPARE(g->Cells(1, 1), QStringLiteral("typed"));
    std::vector<GridColumn> cols(2);
    cols[1] = {QStringLiteral("Value"), [](int) { return QStringLiteral("stored"); }};
    g->fill(std::move(cols), {0, 1});
    QCOMPARE(g->Cells(1, 1), QStringLiteral("stored"));
}

KESTRUN_UI_TEST_MAIN(TstStringGrid)
#include "tst_stringgrid.moc"
