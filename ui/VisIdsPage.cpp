// The Visible IDs page of the main window: the stored lookups, an EID's scans, editing.
#include "Controls.h"
#include "Dialogs.h"
#include "KestrunU.h"
#include "RecordEdits.h"
#include "StringGrid.h"
#include "TApplication.h"

#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

void TKestrunF::buildVisIdsPage()
{
    auto *page = new QVBoxLayout(tbVisIDs);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    pnVisIDsTop = new QLabel(QStringLiteral("You have no visible IDs. Do a Sync !"), tbVisIDs);
    pnVisIDsTop->setObjectName(QStringLiteral("pnVisIDsTop"));
    pnVisIDsTop->setAttribute(Qt::WA_StyledBackground);
    pnVisIDsTop->setFixedHeight(41);
    pnVisIDsTop->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pnVisIDsTop->setContentsMargins(10, 0, 10, 0);
    page->addWidget(pnVisIDsTop);

    grdLookups = new TStringGrid(tbVisIDs);
    grdLookups->setObjectName(QStringLiteral("grdLookups"));
    grdLookups->setFont(windowFont(QStringLiteral("Segoe UI"), 13));
    grdLookups->verticalHeader()->setDefaultSectionSize(30);
    grdLookups->setSelectionMode(QAbstractItemView::ContiguousSelection);
    // Typing into a cell only changes what it shows until the next rebuild.
    grdLookups->gridModel()->setEditable(true);
    grdLookups->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::AnyKeyPressed);
    page->addWidget(grdLookups, 1);

    connect(grdLookups, &TStringGrid::ButtonClick, this, &TKestrunF::grdLookupsButtonClick);
}

void TKestrunF::LookupsToGrid()
{
    if (!VisIdLookupList.empty())
        pnVisIDsTop->setText(
            QString::asprintf("You have %d EIDs on file", int(VisIdLookupList.size())));
    const TVisIDLookupList *list = &VisIdLookupList;
    auto at = [list](int i) -> const TVisIDLookup & { return *(*list)[size_t(i)]; };
    std::vector<GridColumn> cols(6);
    cols[0] = {QStringLiteral("Index"), [](int i) { return QString::number(i); }};
    cols[1] = {QStringLiteral("Visible ID"), [at](int i) { return at(i).VisibleID; }};
    cols[2] = {QStringLiteral("EID"), [at](int i) { return at(i).Eid; }};
    cols[3] = {QStringLiteral("Date"), [at](int i) { return gridDateText(at(i).Date, false); }, {},
        [at](int i) { return at(i).Date; }};
    cols[4].button = [](int) { return QStringLiteral(" Show Scans "); };
    cols[5].button = [](int) { return QStringLiteral(" Edit "); };
    std::vector<int> rows(VisIdLookupList.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    grdLookups->fill(std::move(cols), std::move(rows));
    // The list may be replaced before the next rebuild; the grid keeps its own texts.
    grdLookups->freeze();
    grdLookups->HideColumn(0);
    grdLookups->AutoSizeColumns(8);
}

void TKestrunF::grdLookupsButtonClick(int ACol, int ARow)
{
    if (ARow <= 0)
        return;
    bool ok = false;
    const int i = grdLookups->Cells(0, ARow).toInt(&ok);
    if (!ok || i < 0 || size_t(i) >= VisIdLookupList.size())
        return;
    TVisIDLookup *Lookup = VisIdLookupList[size_t(i)].get();
    if (ACol == 3) {
        ShowEidScans(Lookup->Eid);
    } else if (ACol == 4) {
        QString VisID = Lookup->VisibleID;
        if (!InputQuery(QStringLiteral("Enter Visible ID for ") + Lookup->Eid,
                QStringLiteral("Visible ID"), VisID))
            return;
        const EditResult r = setVisibleId(VisIdLookupList, *Lookup, VisID, dbFileName);
        if (r.status == EditStatus::CloudFailed)
            ShowMessage(visibleIdFailedText(*Lookup, r.error));
        else if (r.status == EditStatus::Done)
            LookupsToGrid();
    }
}
