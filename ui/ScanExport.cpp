#include "ScanExport.h"

#include "Dialogs.h"
#include "KestrunU.h"
#include "TApplication.h"
#include "qzTagSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kFieldRole = Qt::UserRole;
// The check state last seen, so that a text change of the item is not taken for a toggle.
constexpr int kLastCheckRole = Qt::UserRole + 1;

const char *const kStyle = R"(
#ExportF { background: #ffffff; }
#Panel1 { background: #000000; color: #ffffff; font-weight: bold; font-size: 15px; }
#Panel2, #pnRight { background: #ffffff; }
#grd { gridline-color: #d8d8d8; border: 1px solid #c8c8c8; }
)";

QFont monoFont(int pixelSize)
{
    QFont f;
    f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
        QStringLiteral("DejaVu Sans Mono")});
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(pixelSize);
    return f;
}
} // namespace

// --- the field grid ------------------------------------------------------------------------

TFieldGrid::TFieldGrid(QWidget *parent) : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // All nine rows fit the window without scrolling.
    verticalHeader()->setMinimumSectionSize(20);
    verticalHeader()->setDefaultSectionSize(25);
}

int TFieldGrid::dropRow(const QPoint &pos) const
{
    int row = rowAt(pos.y());
    if (row < 0)
        row = pos.y() < 0 ? 1 : rowCount() - 1;
    return qMax(1, row);
}

void TFieldGrid::mousePressEvent(QMouseEvent *e)
{
    m_dragging = false;
    m_pressRow = -1;
    if (e->button() == Qt::LeftButton) {
        m_pressRow = rowAt(e->position().toPoint().y());
        m_pressPos = e->position().toPoint();
    }
    QTableWidget::mousePressEvent(e);
}

void TFieldGrid::mouseMoveEvent(QMouseEvent *e)
{
    if (!(e->buttons() & Qt::LeftButton) || m_pressRow < 0) {
        QTableWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    if (!m_dragging) {
        if ((pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        if (!OnOleDrag || !OnOleDrag(m_pressRow)) {
            m_pressRow = -1;
            return;
        }
        m_dragging = true;
        viewport()->setCursor(Qt::DragMoveCursor);
    }
    // The row under the pointer shows where the dragged row will land.
    selectRow(dropRow(pos));
}

void TFieldGrid::mouseReleaseEvent(QMouseEvent *e)
{
    if (!m_dragging) {
        QTableWidget::mouseReleaseEvent(e);
        m_pressRow = -1;
        return;
    }
    // The release ends the drag only; it must not toggle a check box it lands on.
    m_dragging = false;
    viewport()->unsetCursor();
    const int from = m_pressRow;
    const int to = dropRow(e->position().toPoint());
    m_pressRow = -1;
    clearSelection();
    if (from != to)
        emit rowDropped(from, to);
}

// --- the dialog ---------------------------------------------------------------------------

TExportF *ExportF = nullptr;

TExportF::TExportF(const TScanRefs &Scans, TScanSession &Session, QWidget *parent)
    : TExportF(parent)
{
    m_scans = Scans;
    m_session = &Session;
    SetupGrid();
    lbPreview->setText(
        QStringLiteral("Preview :   %1 Scans selected").arg(qsizetype(m_scans.size())));
    PreviewExport();
}

TExportF::TExportF(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportF"));
    setWindowTitle(QStringLiteral("Export scans to a CSV file "));
    setAttribute(Qt::WA_StyledBackground);
    setFont(windowFont(QStringLiteral("Segoe UI"), 13));
    resize(544, 452);
    setModal(true);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Panel1 = new QLabel(QStringLiteral("Select the fields to export and optional quoting"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFixedHeight(41);
    outer->addWidget(Panel1);

    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(8, 8, 0, 8);
    middle->setSpacing(8);
    grd = new TFieldGrid(this);
    grd->setObjectName(QStringLiteral("grd"));
    grd->setFont(windowFont(QStringLiteral("Tahoma"), 13));
    middle->addWidget(grd, 1);

    pnRight = new QWidget(this);
    pnRight->setObjectName(QStringLiteral("pnRight"));
    pnRight->setAttribute(Qt::WA_StyledBackground);
    pnRight->setFixedWidth(216);
    auto *right = new QVBoxLayout(pnRight);
    right->setContentsMargins(16, 0, 16, 0);
    right->setSpacing(6);
    Label2 = new QLabel(QStringLiteral("Scan Date Format"), pnRight);
    Label2->setObjectName(QStringLiteral("Label2"));
    cbxDateFormat = new QComboBox(pnRight);
    cbxDateFormat->setObjectName(QStringLiteral("cbxDateFormat"));
    cbxDateFormat->setEditable(false);
    cbxDateFormat->setMaxVisibleItems(14);
    Label2->setBuddy(cbxDateFormat);
    btExport = new QPushButton(QStringLiteral("Save Scans to File "), pnRight);
    btExport->setObjectName(QStringLiteral("btExport"));
    btCancel = new QPushButton(QStringLiteral("Cancel"), pnRight);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    for (QPushButton *b : {btExport, btCancel}) {
        b->setAutoDefault(false);
        b->setFixedHeight(30);
    }
    right->addWidget(Label2);
    right->addWidget(cbxDateFormat);
    right->addSpacing(24);
    right->addWidget(btExport);
    right->addWidget(btCancel);
    right->addStretch(1);
    middle->addWidget(pnRight);
    outer->addLayout(middle, 1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAttribute(Qt::WA_StyledBackground);
    Panel2->setFixedHeight(132);
    auto *bottom = new QVBoxLayout(Panel2);
    bottom->setContentsMargins(8, 4, 8, 8);
    bottom->setSpacing(4);
    lbPreview = new QLabel(Panel2);
    lbPreview->setObjectName(QStringLiteral("lbPreview"));
    Memo1 = new QPlainTextEdit(Panel2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setFont(monoFont(13));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A preview of every scan is one undo step too many; the user's own edits still undo.
    Memo1->setUndoRedoEnabled(false);
    bottom->addWidget(lbPreview);
    bottom->addWidget(Memo1, 1);
    outer->addWidget(Panel2);
    setStyleSheet(QString::fromLatin1(kStyle));

    cbxDateFormat->addItems(ScanDateFormats());
    connect(cbxDateFormat, &QComboBox::activated, this, &TExportF::cbxDateFormatChange);
    connect(grd, &QTableWidget::itemChanged, this, &TExportF::itemChanged);
    grd->OnOleDrag = [this](int row) { return grdOleDrag(row); };
    connect(grd, &TFieldGrid::rowDropped, this, &TExportF::moveFieldRow);
    connect(btExport, &QPushButton::clicked, this, &TExportF::btExportClick);
    connect(btCancel, &QPushButton::clicked, this, &TExportF::btCancelClick);

    installEventFilter(this);
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    setFixedSize(544, 452);
}

void TExportF::SetupGrid()
{
    m_filling = true;
    DateFormat = TagSettings.ScanDateFormat;
    const int index = scanDateFormatIndex(DateFormat);
    cbxDateFormat->setCurrentIndex(index < 0 ? 0 : index);

    grd->clear();
    grd->setRowCount(RowCount);
    grd->setColumnCount(3);
    if (m_session->Value3Name.isEmpty())
        m_session->Value3Name = QStringLiteral("Value3");

    const QStringList headers {
        QStringLiteral("Field"), QStringLiteral("Export"), QStringLiteral("Quoted")};
    QFont bold = grd->font();
    bold.setBold(true);
    for (int c = 0; c < 3; ++c) {
        auto *item = new QTableWidgetItem(headers[c]);
        item->setFlags(Qt::ItemIsEnabled);
        item->setFont(bold);
        item->setBackground(QColor(0xf0, 0xf0, 0xf0));
        grd->setItem(0, c, item);
    }
    for (int r = 1; r < RowCount; ++r) {
        const auto field = TScanField(r - 1);
        auto *name = new QTableWidgetItem(scanFieldCaption(field, *m_session));
        name->setFlags(Qt::ItemIsEnabled);
        name->setData(kFieldRole, int(field));
        grd->setItem(r, ColField, name);
        for (int c : {ColExport, ColQuoted}) {
            auto *box = new QTableWidgetItem;
            box->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            grd->setItem(r, c, box);
        }
        setCheckBox(ColExport, r, true);
        setCheckBox(ColQuoted, r, false);
    }
    grd->item(0, ColExport)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    setCheckBox(ColExport, 0, true);
    grd->resizeColumnsToContents();
    for (int c = 0; c < 3; ++c)
        grd->setColumnWidth(c, grd->columnWidth(c) + 8);
    // No cell is marked before the user picks one.
    grd->setCurrentItem(nullptr);
    m_filling = false;
}

void TExportF::setCheckBox(int col, int row, bool checked)
{
    QTableWidgetItem *item = grd->item(row, col);
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    const bool wasFilling = m_filling;
    m_filling = true;
    item->setData(kLastCheckRole, checked);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    m_filling = wasFilling;
}

bool TExportF::IsChecked(int col, int row) const
{
    const QTableWidgetItem *item = grd->item(row, col);
    return item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked;
}

TScanField TExportF::rowField(int row) const
{
    const QTableWidgetItem *item = grd->item(row, ColField);
    return item ? TScanField(item->data(kFieldRole).toInt()) : TScanField::VisibleID;
}

TExportColumns TExportF::exportColumns() const
{
    TExportColumns columns;
    for (int r = 1; r < grd->rowCount(); ++r)
        columns.push_back({rowField(r), IsChecked(ColExport, r), IsChecked(ColQuoted, r)});
    return columns;
}

void TExportF::PreviewExport()
{
    DateFormat = cbxDateFormat->currentText();
    const TScanDatePattern pattern(DateFormat, regionalSeparators());
    // Replacing the text clears the box first.
    m_previewText = exportText(m_scans, exportColumns(), pattern);
    Memo1->setPlainText(m_previewText);
    Memo1->document()->setModified(false);
    QTextCursor c = Memo1->textCursor();
    c.movePosition(QTextCursor::Start);
    Memo1->setTextCursor(c);
    Memo1->ensureCursorVisible();
}

QString TExportF::ScanToString(const TScan &scan) const
{
    return scanLine(scan, exportColumns(), TScanDatePattern(DateFormat, regionalSeparators()));
}

void TExportF::itemChanged(QTableWidgetItem *item)
{
    if (m_filling || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    const bool state = item->checkState() == Qt::Checked;
    if (item->data(kLastCheckRole).toBool() == state)
        return;
    item->setData(kLastCheckRole, state);
    grdCheckBoxChange(item->column(), item->row(), state);
}

void TExportF::grdCheckBoxChange(int col, int row, bool state)
{
    // The header box sets the whole "Export" column.
    if (col == ColExport && row == 0)
        for (int r = 1; r < grd->rowCount(); ++r)
            setCheckBox(ColExport, r, state);
    PreviewExport();
}

bool TExportF::grdOleDrag(int row)
{
    return row > 0;
}

void TExportF::moveFieldRow(int from, int to)
{
    const int last = grd->rowCount() - 1;
    if (from < 1 || from > last || to < 1 || to > last || from == to)
        return;
    m_filling = true;
    QList<QTableWidgetItem *> items;
    for (int c = 0; c < grd->columnCount(); ++c)
        items << grd->takeItem(from, c);
    grd->removeRow(from);
    grd->insertRow(to);
    for (int c = 0; c < grd->columnCount(); ++c)
        grd->setItem(to, c, items[c]);
    m_filling = false;
    PreviewExport();
}

void TExportF::cbxDateFormatChange(int index)
{
    DateFormat = cbxDateFormat->itemText(index);
    if (DateFormat != TagSettings.ScanDateFormat) {
        TagSettings.ScanDateFormat = DateFormat;
        TagSettings.Save();
    }
    PreviewExport();
}

void TExportF::btExportClick()
{
    const QString fileName = PromptSaveFileName(QString(), QStringLiteral("scans.csv"), QString());
    if (fileName.isEmpty())
        return;
    // The preview as it stands, with whatever the user typed into it; untouched, that is the
    // text it was given, which saves walking a large document.
    const QString text
        = Memo1->document()->isModified() ? Memo1->document()->toRawText() : m_previewText;
    QString error;
    if (!writeCsvFile(fileName, csvFileBytes(textLines(text)), &error))
        ShowError(error);
}

void TExportF::btCancelClick()
{
    reject();
}

bool TExportF::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TExportF::FormKeyPress(QKeyEvent *e)
{
    if (e->key() != Qt::Key_Escape)
        return false;
    reject();
    return true;
}

void TExportF::keyPressEvent(QKeyEvent *e)
{
    // Enter and Return press no button here.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void ExportScans(const TScanRefs &Scans, TScanSession &Session)
{
    QWidget *parent = KestrunF ? static_cast<QWidget *>(KestrunF) : QApplication::activeWindow();
    TExportF dialog(Scans, Session, parent);
    dialog.exec();
}
