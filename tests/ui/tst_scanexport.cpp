#include "Dialogs.h"
#include "ScanExport.h"
#include "TestHome.h"
#include "UiTestMain.h"
#include "dbWriters.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTimer>

#include <functional>

namespace {
// 7 March 2019, 14:05:09.
TDateTime exampleDate()
{
    return encodeDate(2019, 3, 7) + (14 * 3600 + 5 * 60 + 9) / 86400.0;
}

TScan exampleScan()
{
    TScan s;
    s.VisibleID = QStringLiteral("1204");
    s.Eid = QStringLiteral("982000420103750");
    s.Date = exampleDate();
    s.Value1 = QStringLiteral("Pen 4");
    s.Value2 = QStringLiteral("412");
    s.Value3 = QStringLiteral("calm");
    s.Sequence = 12345;
    s.PremiseId = QStringLiteral("P-77");
    s.SessionUid = QStringLiteral("sess-1");
    return s;
}

TScanSession exampleSession()
{
    TScanSession s;
    s.Uid = QStringLiteral("sess-1");
    s.Name = QStringLiteral("Weaning");
    s.Value1Name = QStringLiteral("Pen");
    s.Value2Name = QStringLiteral("Weight");
    s.Value3Name = QStringLiteral("Temper");
    return s;
}

QStringList previewLines(const TExportF &f)
{
    return textLines(f.Memo1->toPlainText());
}

QPoint checkPoint(TFieldGrid *g, int row, int col)
{
    QStyleOptionViewItem opt;
    opt.initFrom(g);
    opt.rect = g->visualRect(g->model()->index(row, col));
    opt.features |= QStyleOptionViewItem::HasCheckIndicator;
    return g->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, g).center();
}

void clickCheckBox(TFieldGrid *g, int row, int col)
{
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, checkPoint(g, row, col));
}

void dragRow(TFieldGrid *g, int from, int to)
{
    const QPoint a = g->visualRect(g->model()->index(from, 0)).center();
    const QPoint b = g->visualRect(g->model()->index(to, 0)).center();
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, a);
    QTest::mouseMove(g->viewport(), a + QPoint(0, (b.y() > a.y() ? 1 : -1) * 12));
    QTest::mouseMove(g->viewport(), b);
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, b);
}

// Picks an entry from the open list, as the user does.
void pickDateFormat(QComboBox *cbx, int index)
{
    cbx->showPopup();
    QAbstractItemView *view = cbx->view();
    QTRY_VERIFY(view->isVisible());
    const QRect r = view->visualRect(view->model()->index(index, 0));
    view->scrollTo(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
        view->visualRect(view->model()->index(index, 0)).center());
    Q_UNUSED(r);
}

// Runs the checks on the export dialog once it is shown modally, then closes whatever modal
// window is left, so that a failed check cannot leave the test waiting.
void whenModal(std::function<void(TExportF *)> checks)
{
    QTimer::singleShot(0, [checks] {
        auto *f = qobject_cast<TExportF *>(QApplication::activeModalWidget());
        if (f)
            checks(f);
        else
            QTest::qFail("no modal export dialog", __FILE__, __LINE__);
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}
} // namespace

class TestScanExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensWithDefaults();
    void defaultLine();
    void fieldNames();
    void noFieldExported();
    void quotedValues();
    void headerBoxSetsColumn();
    void movedDateRowKeepsItsBoxes();
    void headerRowDoesNotDrag();
    void storedAndNewDateFormat();
    void unknownStoredDateFormat();
    void datePatterns_data();
    void datePatterns();
    void patternRules_data();
    void patternRules();
    void savesPreviewAsCodePage1252();
    void cancelledSaveWritesNothing();
    void unwritableFile();
    void cancelAndEscape();
    void cliWritesTheSameFile_data();
    void cliWritesTheSameFile();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestScanExport::init()
{
    m_home = std::make_unique<TestHome>();
    OrvaloPath.clear();
    resetTagSettings();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestScanExport::cleanup()
{
    QLocale::setDefault(QLocale::system());
    dbClose();
    m_home.reset();
}

void TestScanExport::opensWithDefaults()
{
    TScan a = exampleScan(), b = exampleScan();
    TScanSession session = exampleSession();
    session.Value3Name.clear();
    bool seen = false;
    whenModal([&](TExportF *f) {
        seen = true;
        QCOMPARE(f->windowTitle(), QStringLiteral("Export scans to a CSV file "));
        QCOMPARE(f->size(), QSize(544, 452));
        QCOMPARE(
            f->Panel1->text(), QStringLiteral("Select the fields to export and optional quoting"));
        QCOMPARE(f->Panel1->height(), 41);
        QCOMPARE(f->Panel2->height(), 132);
        QCOMPARE(f->pnRight->width(), 216);
        QCOMPARE(f->lbPreview->text(), QStringLiteral("Preview :   2 Scans selected"));
        QCOMPARE(f->Label2->text(), QStringLiteral("Scan Date Format"));
        QCOMPARE(f->btExport->text(), QStringLiteral("Save Scans to File "));
        QCOMPARE(f->btCancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(f->cbxDateFormat->count(), 14);
        QCOMPARE(f->cbxDateFormat->currentIndex(), 0);
        QCOMPARE(f->DateFormat, QStringLiteral("YYYY-MM-DD HH:MM:SS"));
        QVERIFY(!f->cbxDateFormat->isEditable());
        QCOMPARE(f->grd->rowCount(), 9);
        QCOMPARE(f->grd->columnCount(), 3);
        QCOMPARE(f->grd->item(0, 0)->text(), QStringLiteral("Field"));
        QCOMPARE(f->grd->item(0, 1)->text(), QStringLiteral("Export"));
        QCOMPARE(f->grd->item(0, 2)->text(), QStringLiteral("Quoted"));
        QVERIFY(f->IsChecked(1, 0));
        QVERIFY(!(f->grd->item(0, 2)->flags() & Qt::ItemIsUserCheckable));
        for (int r = 1; r < 9; ++r) {
            QVERIFY(f->IsChecked(1, r));
            QVERIFY(!f->IsChecked(2, r));
        }
        QCOMPARE(previewLines(*f).size(), 2);
        // The preview shows its first line.
        QCOMPARE(f->Memo1->textCursor().position(), 0);
        QTest::keyClick(f->Memo1, Qt::Key_Escape);
        QVERIFY(!f->isVisible());
    });
    ExportScans({&a, &b}, session);
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());
    // The filled-in name stays with the session.
    QCOMPARE(session.Value3Name, QStringLiteral("Value3"));
}

void TestScanExport::defaultLine()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    QCOMPARE(f.ScanToString(s),
        QStringLiteral("1204,982000420103750,2019-03-07 14:05:09,Pen 4,412,calm,12345,P-77"));
    QCOMPARE(previewLines(f), QStringList {f.ScanToString(s)});
    // No thousands separator where the region uses one.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(f.ScanToString(s).contains(QStringLiteral(",12345,")));
}

void TestScanExport::fieldNames()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    session.Value1Name.clear();
    session.Value3Name.clear();
    TExportF f({&s}, session);
    QStringList names;
    for (int r = 1; r < 9; ++r)
        names << f.grd->item(r, 0)->text();
    QCOMPARE(names,
        QStringList({QStringLiteral("VisibleID"), QStringLiteral("EID"), QStringLiteral("Date"),
            QString(), QStringLiteral("Weight"), QStringLiteral("Value3"),
            QStringLiteral("Sequence"), QStringLiteral("PremiseID")}));
    QCOMPARE(session.Value1Name, QString());
    // The value with the empty name is still exported.
    QVERIFY(f.ScanToString(s).contains(QStringLiteral(",Pen 4,")));
}

void TestScanExport::noFieldExported()
{
    TScan a = exampleScan(), b = exampleScan(), c = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&a, &b, &c}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    for (int r = 1; r < 9; ++r)
        clickCheckBox(f.grd, r, TExportF::ColExport);
    for (int r = 1; r < 9; ++r)
        QVERIFY2(!f.IsChecked(1, r), qPrintable(QString::number(r)));
    QCOMPARE(f.ScanToString(a), QString());
    QCOMPARE(previewLines(f), QStringList({QString(), QString(), QString()}));

    const QString path = m_home->file(QStringLiteral("empty.csv"));
    DialogScript script;
    script.push({true, path});
    f.btExport->click();
    QCOMPARE(readFile(path), QByteArray("\r\n\r\n\r\n"));
}

void TestScanExport::quotedValues()
{
    TScan s = exampleScan();
    s.VisibleID.clear();
    s.Value1 = QStringLiteral("4,5");
    s.Value2 = QStringLiteral("say \"hi\"");
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    clickCheckBox(f.grd, 1, TExportF::ColQuoted); // VisibleID, empty
    clickCheckBox(f.grd, 5, TExportF::ColQuoted); // Value2, holds quotes
    QVERIFY(f.IsChecked(2, 1));
    const QString line = f.ScanToString(s);
    QCOMPARE(line,
        QStringLiteral(
            "\"\",982000420103750,2019-03-07 14:05:09,4,5,\"say \"\"hi\"\"\",calm,12345,P-77"));
    // The unquoted comma splits the value; the quoted one reads back whole.
    QCOMPARE(line.count(QLatin1Char(',')), 8);
    QCOMPARE(previewLines(f), QStringList {line});
    // A quoted field that is not exported is not written.
    clickCheckBox(f.grd, 1, TExportF::ColExport);
    QVERIFY(f.ScanToString(s).startsWith(QStringLiteral("982000420103750,")));
}

void TestScanExport::headerBoxSetsColumn()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QString full = f.ScanToString(s);
    clickCheckBox(f.grd, 0, TExportF::ColExport);
    QVERIFY(!f.IsChecked(1, 0));
    for (int r = 1; r < 9; ++r)
        QVERIFY(!f.IsChecked(1, r));
    QCOMPARE(previewLines(f), QStringList {QString()});
    clickCheckBox(f.grd, 0, TExportF::ColExport);
    for (int r = 1; r < 9; ++r)
        QVERIFY(f.IsChecked(1, r));
    QCOMPARE(previewLines(f), QStringList {full});
}

void TestScanExport::movedDateRowKeepsItsBoxes()
{
    TScan a = exampleScan(), b = exampleScan();
    b.Date = exampleDate() + 1;
    TScanSession session = exampleSession();
    TExportF f({&a, &b}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    clickCheckBox(f.grd, 3, TExportF::ColQuoted); // "Date" quoted before the move
    clickCheckBox(f.grd, 8, TExportF::ColExport); // "PremiseID" left out
    dragRow(f.grd, 3, 1);
    QCOMPARE(f.grd->item(1, 0)->text(), QStringLiteral("Date"));
    QCOMPARE(f.grd->item(2, 0)->text(), QStringLiteral("VisibleID"));
    QCOMPARE(f.grd->item(3, 0)->text(), QStringLiteral("EID"));
    QVERIFY(f.IsChecked(1, 1) && f.IsChecked(2, 1));
    QVERIFY(!f.IsChecked(2, 2));
    QCOMPARE(previewLines(f),
        QStringList({QStringLiteral(
                         "\"2019-03-07 14:05:09\",1204,982000420103750,Pen 4,412,calm,12345"),
            QStringLiteral("\"2019-03-08 14:05:09\",1204,982000420103750,Pen 4,412,calm,12345")}));

    // Dragged back down to the end.
    dragRow(f.grd, 1, 8);
    QCOMPARE(f.grd->item(8, 0)->text(), QStringLiteral("Date"));
    QCOMPARE(f.grd->item(7, 0)->text(), QStringLiteral("PremiseID"));
    QCOMPARE(f.ScanToString(a),
        QStringLiteral("1204,982000420103750,Pen 4,412,calm,12345,\"2019-03-07 14:05:09\""));
}

void TestScanExport::headerRowDoesNotDrag()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QVERIFY(!f.grdOleDrag(0));
    QVERIFY(f.grdOleDrag(1));
    const QString before = f.ScanToString(s);
    dragRow(f.grd, 0, 4);
    QCOMPARE(f.grd->item(0, 0)->text(), QStringLiteral("Field"));
    QCOMPARE(f.grd->item(4, 0)->text(), QStringLiteral("Pen"));
    QCOMPARE(f.ScanToString(s), before);
}

void TestScanExport::storedAndNewDateFormat()
{
    TagSettings.ScanDateFormat = QStringLiteral("DD/MM/YYYY");
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.cbxDateFormat->currentIndex(), 13);
    QVERIFY(f.ScanToString(s).contains(QStringLiteral(",07/03/2019,")));
    // Opening saves nothing; picking the stored one saves nothing either.
    pickDateFormat(f.cbxDateFormat, 13);
    QTRY_VERIFY(!f.cbxDateFormat->view()->isVisible());
    QVERIFY(!QFile::exists(tagSettingsFileName()));

    pickDateFormat(f.cbxDateFormat, 3);
    QTRY_COMPARE(f.DateFormat, QStringLiteral("MM/DD/YY HH:MM"));
    QCOMPARE(TagSettings.ScanDateFormat, QStringLiteral("MM/DD/YY HH:MM"));
    QVERIFY(readFile(tagSettingsFileName()).contains("ScanDateFormat=MM/DD/YY HH:MM"));
    QCOMPARE(previewLines(f).value(0),
        QStringLiteral("1204,982000420103750,03/07/19 14:05,Pen 4,412,calm,12345,P-77"));
    f.btCancel->click();
    QVERIFY(!f.isVisible());
    resetTagSettings();
    TagSettings.Load();
    QCOMPARE(TagSettings.ScanDateFormat, QStringLiteral("MM/DD/YY HH:MM"));
}

void TestScanExport::unknownStoredDateFormat()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    for (const QString &stored :
        {QString(), QStringLiteral("YYYY/DD"), QStringLiteral("dd/mm/yy hh:mm")}) {
        TagSettings.ScanDateFormat = stored;
        TExportF f({&s}, session);
        // Letter case does not matter; a text outside the list gives the first entry.
        QCOMPARE(f.cbxDateFormat->currentIndex(), stored.startsWith(QLatin1String("dd")) ? 9 : 0);
        QCOMPARE(TagSettings.ScanDateFormat, stored);
    }
    QVERIFY(!QFile::exists(tagSettingsFileName()));
}

void TestScanExport::datePatterns_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    const QStringList us {QStringLiteral("2019-03-07 14:05:09"), QStringLiteral("2019-03-07 14:05"),
        QStringLiteral("03/07/19 14:05:09"), QStringLiteral("03/07/19 14:05"),
        QStringLiteral("03/07/19"), QStringLiteral("03/07/2019 14:05:09"),
        QStringLiteral("03/07/2019 14:05"), QStringLiteral("03/07/2019"),
        QStringLiteral("07/03/19 14:05:09"), QStringLiteral("07/03/19 14:05"),
        QStringLiteral("07/03/19"), QStringLiteral("07/03/2019 14:05:09"),
        QStringLiteral("07/03/2019 14:05"), QStringLiteral("07/03/2019")};
    const QStringList de {QStringLiteral("2019-03-07 14:05:09"), QStringLiteral("2019-03-07 14:05"),
        QStringLiteral("03.07.19 14:05:09"), QStringLiteral("03.07.19 14:05"),
        QStringLiteral("03.07.19"), QStringLiteral("03.07.2019 14:05:09"),
        QStringLiteral("03.07.2019 14:05"), QStringLiteral("03.07.2019"),
        QStringLiteral("07.03.19 14:05:09"), QStringLiteral("07.03.19 14:05"),
        QStringLiteral("07.03.19"), QStringLiteral("07.03.2019 14:05:09"),
        QStringLiteral("07.03.2019 14:05"), QStringLiteral("07.03.2019")};
    for (int i = 0; i < 14; ++i) {
        QTest::addRow("en_US %d", i + 1) << QStringLiteral("en_US") << i << us[i];
        QTest::addRow("de_DE %d", i + 1) << QStringLiteral("de_DE") << i << de[i];
    }
    // A region whose time separator is not ":".
    QTest::addRow("fi_FI 1") << QStringLiteral("fi_FI") << 0
                             << QStringLiteral("2019-03-07 14.05.09");
    QTest::addRow("fi_FI 12") << QStringLiteral("fi_FI") << 11
                              << QStringLiteral("07.03.2019 14.05.09");
}

void TestScanExport::datePatterns()
{
    QFETCH(QString, locale);
    QFETCH(int, index);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(TScanDatePattern(ScanDateFormats()[index], regionalSeparators()).format(exampleDate()),
        expected);
    // The dialog with that entry picked.
    TagSettings.ScanDateFormat = ScanDateFormats()[index];
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    QCOMPARE(f.cbxDateFormat->currentText(), ScanDateFormats()[index]);
    QCOMPARE(f.ScanToString(s).section(QLatin1Char(','), 2, 2), expected);
}

void TestScanExport::patternRules_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("date");
    QTest::addColumn<QString>("expected");
    const double d = exampleDate();
    QTest::newRow("letters in any case")
        << QStringLiteral("yyyy-Mm-dD hH:mM:sS") << d << QStringLiteral("2019-03-07 14:05:09");
    QTest::newRow("MM after HH is the minute")
        << QStringLiteral("HH MM") << d << QStringLiteral("14 05");
    QTest::newRow("MM after a date field is the month")
        << QStringLiteral("DD MM") << d << QStringLiteral("07 03");
    QTest::newRow("MM before HH is the month")
        << QStringLiteral("MM HH") << d << QStringLiteral("03 14");
    QTest::newRow("a letter between ends the minute")
        << QStringLiteral("HH x MM") << d << QStringLiteral("14 x 03");
    QTest::newRow("padded small numbers")
        << QStringLiteral("YYYY-MM-DD HH:MM:SS")
        << encodeDate(2005, 1, 2) + (3 * 3600 + 4 * 60 + 5) / 86400.0
        << QStringLiteral("2005-01-02 03:04:05");
    QTest::newRow("midnight") << QStringLiteral("DD/MM/YY HH:MM:SS") << encodeDate(2000, 12, 31)
                              << QStringLiteral("31/12/00 00:00:00");
    QTest::newRow("half a millisecond short of a second")
        << QStringLiteral("HH:MM:SS") << d + 0.9996 / 86400.0 << QStringLiteral("14:05:10");
}

void TestScanExport::patternRules()
{
    QFETCH(QString, pattern);
    QFETCH(double, date);
    QFETCH(QString, expected);
    QCOMPARE(TScanDatePattern(pattern).format(date), expected);
}

void TestScanExport::savesPreviewAsCodePage1252()
{
    TScan a = exampleScan(), b = exampleScan();
    a.Value3 = QStringLiteral("caf\u00e9 \u20ac5 \u4e2d");
    b.Sequence = 7;
    TScanSession session = exampleSession();
    TExportF f({&a, &b}, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));

    const QString path = m_home->file(QStringLiteral("out.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older and much longer file that the export replaces\r\n");
    old.close();

    DialogScript script;
    script.push({true, path});
    f.btExport->click();
    QCOMPARE(script.requests().size(), size_t(1));
    QCOMPARE(script.requests()[0].kind, DialogKind::SaveFile);
    QCOMPARE(script.requests()[0].value, QStringLiteral("scans.csv"));
    QCOMPARE(script.requests()[0].filter, QString());
    QCOMPARE(readFile(path),
        QByteArray("1204,982000420103750,2019-03-07 14:05:09,Pen 4,412,caf\xe9 \x80"
                   "5 ?,12345,P-77\r\n"
                   "1204,982000420103750,2019-03-07 14:05:09,Pen 4,412,calm,7,P-77\r\n"));
    QVERIFY(script.messages().isEmpty());
    QVERIFY(f.isVisible());

    // What the user types into the preview is saved too.
    QTextCursor c = f.Memo1->textCursor();
    c.movePosition(QTextCursor::Start);
    f.Memo1->setTextCursor(c);
    QTest::keyClicks(f.Memo1, QStringLiteral("edited,"));
    QTest::keyClick(f.Memo1, Qt::Key_Return);
    const QString second = m_home->file(QStringLiteral("second.csv"));
    script.push({true, second});
    f.btExport->click();
    const QList<QByteArray> lines = readFile(second).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("edited,\r"));
    QVERIFY(lines[1].startsWith("1204,"));
    QCOMPARE(lines[3], QByteArray());
}

void TestScanExport::cancelledSaveWritesNothing()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    TExportF f({&s}, session);
    DialogScript script;
    script.push({false, {}});
    f.btExport->click();
    QCOMPARE(script.requests().size(), size_t(1));
    QVERIFY(QDir(m_home->path()).entryList({QStringLiteral("*.csv")}).isEmpty());
    QVERIFY(script.messages().isEmpty());
}

void TestScanExport::unwritableFile()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    bool seen = false;
    whenModal([&](TExportF *f) {
        seen = true;
        const QString preview = f->Memo1->toPlainText();
        DialogScript script;
        // A folder is no file; the other name lies under a file, not a folder.
        const QString asFolder = m_home->path();
        QFile plain(m_home->file(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString underFile = m_home->file(QStringLiteral("plain/scans.csv"));
        script.push({true, asFolder});
        script.push({true, {}}); // the error box
        script.push({true, underFile});
        f->btExport->click();
        f->btExport->click();
        QCOMPARE(script.requests().size(), size_t(4));
        QCOMPARE(script.requests()[1].kind, DialogKind::Error);
        const QStringList m = script.messages();
        QCOMPARE(m.size(), 2);
        QVERIFY2(m[0].startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(asFolder)),
            qPrintable(m[0]));
        QVERIFY2(m[1].contains(underFile) && m[1].contains(QStringLiteral("Not a directory")),
            qPrintable(m[1]));
        // The dialog stays, preview and all.
        QCOMPARE(QApplication::activeModalWidget(), f);
        QCOMPARE(f->Memo1->toPlainText(), preview);
        f->btCancel->click();
    });
    ExportScans({&s}, session);
    QVERIFY(seen);
}

void TestScanExport::cancelAndEscape()
{
    TScan s = exampleScan();
    TScanSession session = exampleSession();
    for (int way = 0; way < 3; ++way) {
        whenModal([&](TExportF *f) {
            if (way == 0)
                f->btCancel->click();
            else if (way == 1)
                QTest::keyClick(f->grd, Qt::Key_Escape);
            else
                QTest::keyClick(f->cbxDateFormat, Qt::Key_Escape);
            QVERIFY(!f->isVisible());
        });
        ExportScans({&s}, session);
        QVERIFY(!QApplication::activeModalWidget());
    }
}

void TestScanExport::cliWritesTheSameFile_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("dateFormat"); // -1: as stored
    QTest::newRow("defaults") << QStringList() << -1;
    QTest::newRow("chosen fields, order, quoting and date")
        << QStringList({QStringLiteral("--fields"), QStringLiteral("date,eid,Value3,Sequence"),
               QStringLiteral("--quoted"), QStringLiteral("Value3,EID"),
               QStringLiteral("--date-format"), QStringLiteral("dd/mm/yyyy hh:mm")})
        << 12;
}

void TestScanExport::cliWritesTheSameFile()
{
    QFETCH(QStringList, args);
    QFETCH(int, dateFormat);
    // The program runs under the machine's own region, as the command does.
    QLocale::setDefault(QLocale::system());
    TagSettings.ScanDateFormat = QStringLiteral("MM/DD/YYYY HH:MM:SS");
    TagSettings.Save();

    const QString db = m_home->file(QStringLiteral("scans.db"));
    QVERIFY(dbOpenScans(db));
    for (int i = 0; i < 5; ++i) {
        TScan s = exampleScan();
        s.Date = exampleDate() - i;
        s.Sequence = i + 1;
        s.Value3 = i == 2 ? QStringLiteral("a \"b\", \u00e9") : QStringLiteral("v%1").arg(i);
        QVERIFY(dbInsert(s));
    }
    TScan other = exampleScan();
    other.SessionUid = QStringLiteral("other");
    QVERIFY(dbInsert(other));
    TScanList scans = QueryScans(QStringLiteral("sess-1"), QString());
    dbClose();
    QCOMPARE(scans.size(), size_t(5));

    TScanRefs refs;
    for (const auto &s : scans)
        refs.push_back(s.get());
    TScanSession session = exampleSession();
    TExportF f(refs, session);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    if (dateFormat >= 0) {
        // Date first, then EID, Value3, Sequence; the rest unchecked.
        dragRow(f.grd, 3, 1);
        dragRow(f.grd, 3, 2);
        dragRow(f.grd, 6, 3);
        dragRow(f.grd, 7, 4);
        for (int r = 5; r < 9; ++r)
            clickCheckBox(f.grd, r, TExportF::ColExport);
        clickCheckBox(f.grd, 2, TExportF::ColQuoted);
        clickCheckBox(f.grd, 3, TExportF::ColQuoted);
        pickDateFormat(f.cbxDateFormat, dateFormat);
        QTRY_COMPARE(f.cbxDateFormat->currentIndex(), dateFormat);
    }
    const QString fromDialog = m_home->file(QStringLiteral("dialog.csv"));
    {
        DialogScript script;
        script.push({true, fromDialog});
        f.btExport->click();
    }
    f.close();

    const QString fromCli = m_home->file(QStringLiteral("cli.csv"));
    QProcess p;
    const QStringList common {QStringLiteral("--db"), db, QStringLiteral("export"),
        QStringLiteral("--session"), QStringLiteral("sess-1")};
    p.start(QStringLiteral(KESTRUN_CLI),
        common + args + QStringList {QStringLiteral("--out"), fromCli});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(readFile(fromCli), readFile(fromDialog));
    QCOMPARE(readFile(fromCli).count("\r\n"), 5);

    // Standard output carries the same bytes.
    p.start(QStringLiteral(KESTRUN_CLI), common + args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.readAllStandardOutput(), readFile(fromDialog));
}

KESTRUN_UI_TEST_MAIN(TestScanExport)
#include "tst_scanexport.moc"
