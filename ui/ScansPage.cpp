// The Scans page of the main window: the scans of a session, of all sessions or of one EID,
// their selection, and export and map of them.
#include "Controls.h"
#include "Dialogs.h"
#include "KestrunU.h"
#include "StringGrid.h"
#include "TApplication.h"
#include "qzSQL.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

void TKestrunF::buildScansPage()
{
    auto *page = new QVBoxLayout(tbScans);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel10 = new QWidget(tbScans);
    Panel10->setObjectName(QStringLiteral("Panel10"));
    Panel10->setAttribute(Qt::WA_StyledBackground);
    Panel10->setFixedHeight(41);
    auto *top = new QHBoxLayout(Panel10);
    top->setContentsMargins(0, 0, 4, 0);
    top->setSpacing(6);
    Image8 = new TClickImage(QStringLiteral(":/icons/back.svg"), {48, 41}, Panel10);
    Image8->setObjectName(QStringLiteral("Image8"));
    Image8->setCursor(Qt::PointingHandCursor);
    pnSessionInfo = new QLabel(Panel10);
    pnSessionInfo->setObjectName(QStringLiteral("pnSessionInfo"));
    pnSessionInfo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pnExport = new TClickPanel(QStringLiteral("  Export"), Panel10);
    pnExport->setObjectName(QStringLiteral("pnExport"));
    pnExport->setFixedSize(104, 33);
    pnExport->setCursor(Qt::PointingHandCursor);
    pnExport->setContentsMargins(32, 0, 0, 0);
    Image11 = new TClickImage(QStringLiteral(":/icons/export.svg"), {26, 26}, pnExport);
    Image11->setObjectName(QStringLiteral("Image11"));
    Image11->setCursor(Qt::PointingHandCursor);
    Image11->move(6, 3);
    top->addWidget(Image8);
    top->addWidget(pnSessionInfo, 1);
    top->addWidget(pnExport);
    page->addWidget(Panel10);

    grdScans = new TStringGrid(tbScans);
    grdScans->setObjectName(QStringLiteral("grdScans"));
    grdScans->setFont(windowFont(QStringLiteral("Segoe UI"), 13));
    grdScans->verticalHeader()->setDefaultSectionSize(22);
    // Disjunct rows: Ctrl+click adds or removes one, Shift+click takes a range.
    grdScans->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdScans->setShowGrid(false);
    grdScans->setAlternatingRowColors(false);
    page->addWidget(grdScans, 1);

    pnScanBottom = new TClickPanel(QString(), tbScans);
    pnScanBottom->setObjectName(QStringLiteral("pnScanBottom"));
    pnScanBottom->setCursor(Qt::ArrowCursor);
    pnScanBottom->setFixedHeight(36);
    auto *bottom = new QHBoxLayout(pnScanBottom);
    bottom->setContentsMargins(4, 3, 4, 3);
    pnClearSelections = new TClickPanel(QStringLiteral("Clear Selections"), pnScanBottom);
    pnClearSelections->setObjectName(QStringLiteral("pnClearSelections"));
    pnClearSelections->setFixedWidth(136);
    pnClearSelections->setAlignment(Qt::AlignCenter);
    pnClearSelections->setCursor(Qt::PointingHandCursor);
    pnShowMap = new TClickPanel(QStringLiteral("Show on Map"), pnScanBottom);
    pnShowMap->setObjectName(QStringLiteral("pnShowMap"));
    pnShowMap->setFixedWidth(185);
    pnShowMap->setAlignment(Qt::AlignCenter);
    pnShowMap->setCursor(Qt::PointingHandCursor);
    pnShowMap->setContentsMargins(28, 0, 0, 0);
    auto *mapPicture = new TClickImage(QStringLiteral(":/icons/map.svg"), {24, 24}, pnShowMap);
    mapPicture->setObjectName(QStringLiteral("imgShowMap"));
    // Only the panel reacts to clicks.
    mapPicture->setAttribute(Qt::WA_TransparentForMouseEvents);
    mapPicture->move(8, 3);
    bottom->addWidget(pnClearSelections);
    bottom->addStretch(1);
    bottom->addWidget(pnShowMap);
    page->addWidget(pnScanBottom);

    connect(Image8, &TClickImage::clicked, this, &TKestrunF::Image8Click);
    connect(pnExport, &TClickPanel::clicked, this, &TKestrunF::pnExportClick);
    connect(Image11, &TClickImage::clicked, this, &TKestrunF::pnExportClick);
    connect(pnClearSelections, &TClickPanel::clicked, this, &TKestrunF::pnClearSelectionsClick);
    connect(pnShowMap, &TClickPanel::clicked, this, &TKestrunF::pnShowMapClick);
    connect(grdScans, &TStringGrid::SelectionChanged, this, &TKestrunF::grdScansSelectCell);
    connect(grdScans, &TStringGrid::CheckBoxChange, this, &TKestrunF::grdScansCheckBoxChange);
}

void TKestrunF::LoadScans(const TScanSession &Session, const QString &EID)
{
    // The grid reads ScanList's records; it lets go of them before they are released.
    grdScans->clearGrid();
    FreeScanList(ScanList);
    if (dbOpenScans(dbFileName)) {
        ScanList = QueryScans(Session.Uid, EID);
        dbClose();
    } else {
        ScanList = TScanList();
    }
}

QString TKestrunF::GetSessionName(const QString &SessionUID) const
{
    return m_sessionNames.value(SessionUID);
}

void TKestrunF::ScansToGrid(const TScanSession &Session, const TScanList &Scans)
{
    const bool AllScans = Session.Uid.isEmpty();
    m_sessionNames.clear();
    if (AllScans) {
        // One map per view: the first session of a Uid names it, as a walk from the front
        // would find.
        m_sessionNames.reserve(qsizetype(ScanSessionList.size()));
        for (const auto &s : ScanSessionList)
            if (!m_sessionNames.contains(s->Uid))
                m_sessionNames.insert(s->Uid, s->Name);
    }
    const TScanList *list = &Scans;
    auto at = [list](int i) -> const TScan & { return *(*list)[size_t(i)]; };
    std::vector<GridColumn> cols(AllScans ? 9 : 8);
    cols[0] = {QStringLiteral("Index"), [](int i) { return QString::number(i); }};
    cols[1] = {QStringLiteral("EID"), [at](int i) { return at(i).Eid; }};
    cols[2] = {QStringLiteral("VisID"), [at](int i) { return at(i).VisibleID; }};
    cols[3] = {QStringLiteral("Date"), [at](int i) { return gridDateText(at(i).Date, true); }, {},
        [at](int i) { return at(i).Date; }};
    cols[4] = {Session.Value1Name, [at](int i) { return at(i).Value1; }};
    cols[5] = {Session.Value2Name, [at](int i) { return at(i).Value2; }};
    cols[6] = {Session.Value3Name, [at](int i) { return at(i).Value3; }};
    cols[7] = {QStringLiteral("Sequence"), [at](int i) { return QString::number(at(i).Sequence); },
        {}, [at](int i) { return double(at(i).Sequence); }};
    if (AllScans)
        cols[8] = {QStringLiteral("Session"),
            [this, at](int i) { return GetSessionName(at(i).SessionUid); }};
    std::vector<int> rows(Scans.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    grdScans->fill(std::move(cols), std::move(rows));
    grdScans->HideColumn(0);
    grdScans->AutoSizeColumns(8);
}

int TKestrunF::SelectedCount() const
{
    return grdScans->gridModel()->checkedCount(1);
}

void TKestrunF::ShowSelectedScans(const TScanSession *session)
{
    pnSessionInfo->clear();
    const int NumSelected = grdScans->SelectedRowCount();
    if (!session)
        return;
    if (NumSelected > 0)
        pnSessionInfo->setText(QString::asprintf("%s has %d scans, %d selected",
            qUtf8Printable(session->Name), session->Count, NumSelected));
    else
        pnSessionInfo->setText(
            QString::asprintf("%s has %d scans", qUtf8Printable(session->Name), session->Count));
}

void TKestrunF::grdScansSelectCell()
{
    ShowSelectedScans(CurrentSession);
}

void TKestrunF::grdScansCheckBoxChange()
{
    ShowSelectedScans(CurrentSession);
}

void TKestrunF::pnClearSelectionsClick()
{
    grdScans->ClearRowSelect();
    ShowSelectedScans(CurrentSession);
}

void TKestrunF::ShowAllScans()
{
    LoadScans(*AllScansSession, QString());
    AllScansSession->Count = int(ScanList.size());
    CurrentSession = AllScansSession.get();
    m_currentSessionUid.clear();
    ScansToGrid(*AllScansSession, ScanList);
    ShowSelectedScans(CurrentSession);
    pnSessionInfo->setText(QString::asprintf(
        "%d scans in %s, %d selected", int(ScanList.size()), "All Scans", SelectedCount()));
    GotoMainPage(PageScans);
}

void TKestrunF::ShowSessionScans(TScanSession *session)
{
    LoadScans(*session, QString());
    CurrentSession = session;
    m_currentSessionUid = session->Uid;
    ScansToGrid(*session, ScanList);
    ShowSelectedScans(session);
    pnSessionInfo->setText(QString::asprintf("%d scans in %s, %d selected", session->Count,
        qUtf8Printable(session->Name), SelectedCount()));
    GotoMainPage(PageScans);
}

void TKestrunF::ShowEidScans(const QString &eid)
{
    LoadScans(*AllScansSession, eid);
    AllScansSession->Count = int(ScanList.size());
    CurrentSession = AllScansSession.get();
    m_currentSessionUid.clear();
    ScansToGrid(*AllScansSession, ScanList);
    ShowSelectedScans(AllScansSession.get());
    pnSessionInfo->setText(QString::asprintf("%d scans for %s, %d selected", int(ScanList.size()),
        qUtf8Printable(eid), SelectedCount()));
    GotoMainPage(PageScans);
}

TScanRefs TKestrunF::scansOfGrid() const
{
    const int NumSelected = grdScans->SelectedRowCount();
    TScanRefs list;
    const std::vector<char> selected = grdScans->selectedMask();
    for (int row = 1; row < grdScans->RowCount(); ++row) {
        if (NumSelected != 0 && !selected[size_t(row - 1)])
            continue;
        bool ok = false;
        int i = grdScans->Cells(0, row).toInt(&ok);
        if (!ok)
            i = 0;
        if (i >= 0 && size_t(i) < ScanList.size())
            list.push_back(ScanList[size_t(i)].get());
    }
    return list;
}

void TKestrunF::PrepareExport()
{
    const TScanRefs ExportScanList = scansOfGrid();
    if (ExportScanList.empty() || !CurrentSession) {
        ShowMessage(QStringLiteral("No scans to export"));
        return;
    }
    if (OnExportScans)
        OnExportScans(ExportScanList, *CurrentSession);
}

void TKestrunF::MapScans()
{
    const TScanRefs list = scansOfGrid();
    if (list.empty()) {
        ShowMessage(QStringLiteral("No scans to map"));
        return;
    }
    if (OnShowScansOnMap)
        OnShowScansOnMap(list);
}

void TKestrunF::pnExportClick()
{
    PrepareExport();
}

void TKestrunF::pnShowMapClick()
{
    MapScans();
}

void TKestrunF::Image8Click()
{
    GotoMainPage(PageSessions);
}
