// The Sessions page of the main window: the stored sessions, archiving, opening one.
#include "Controls.h"
#include "Dialogs.h"
#include "KestrunU.h"
#include "RecordEdits.h"
#include "StringGrid.h"
#include "TApplication.h"
#include "qzUtils.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

namespace {
bool isActive(const TScanSession &s)
{
    return !isArchived(s) && !s.Uid.isEmpty();
}

// The record a grid row names by its hidden index; null when the text names none.
template<class List> auto *recordOfRow(const TStringGrid *grid, int ARow, List &list)
{
    bool ok = false;
    const int i = grid->Cells(0, ARow).toInt(&ok);
    return ok && i >= 0 && size_t(i) < list.size() ? list[size_t(i)].get() : nullptr;
}
} // namespace

void TKestrunF::buildSessionsPage()
{
    auto *page = new QVBoxLayout(tbSessions);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    pnSessionsTop = new QWidget(tbSessions);
    pnSessionsTop->setObjectName(QStringLiteral("pnSessionsTop"));
    pnSessionsTop->setAttribute(Qt::WA_StyledBackground);
    pnSessionsTop->setFixedHeight(41);
    auto *top = new QHBoxLayout(pnSessionsTop);
    top->setContentsMargins(0, 0, 10, 0);
    top->setSpacing(0);
    pnSessionsLeft = new QLabel(pnSessionsTop);
    pnSessionsLeft->setObjectName(QStringLiteral("pnSessionsLeft"));
    pnSessionsLeft->setFixedWidth(192);
    pnSessionsLeft->setAlignment(Qt::AlignCenter);
    cbActiveOnly = new QCheckBox(QStringLiteral("Active Sessions Only"), pnSessionsTop);
    cbActiveOnly->setObjectName(QStringLiteral("cbActiveOnly"));
    cbActiveOnly->setChecked(true);
    top->addWidget(pnSessionsLeft);
    top->addWidget(cbActiveOnly);
    top->addStretch(1);
    page->addWidget(pnSessionsTop);

    grdSessions = new TStringGrid(tbSessions);
    grdSessions->setObjectName(QStringLiteral("grdSessions"));
    grdSessions->setFont(windowFont(QStringLiteral("Segoe UI"), 13));
    grdSessions->verticalHeader()->setDefaultSectionSize(30);
    grdSessions->setCursor(Qt::PointingHandCursor);
    page->addWidget(grdSessions, 1);

    connect(cbActiveOnly, &QCheckBox::clicked, this, &TKestrunF::cbActiveOnlyClick);
    connect(grdSessions, &TStringGrid::ButtonClick, this, &TKestrunF::grdSessionsButtonClick);
    // Both a click and a double click open the session.
    connect(grdSessions, &TStringGrid::ClickCell, this, &TKestrunF::grdSessionsDblClickCell);
    connect(grdSessions, &TStringGrid::DblClickCell, this, &TKestrunF::grdSessionsDblClickCell);
    grdSessions->OnGridHint
        = [this](int ARow, int ACol, QString &hint) { grdSessionsGridHint(ARow, ACol, hint); };
}

void TKestrunF::SessionsToGrid(const TScanSessionList &SessionsList)
{
    // A reloaded list holds new records: the Scans page's session is found again by Uid.
    if (CurrentSession && CurrentSession != AllScansSession.get()) {
        CurrentSession = nullptr;
        for (const auto &s : SessionsList)
            if (!m_currentSessionUid.isEmpty() && s->Uid == m_currentSessionUid) {
                CurrentSession = s.get();
                break;
            }
    }

    int NumActive = 0;
    for (const auto &s : SessionsList)
        NumActive += isActive(*s);
    pnSessionsLeft->setText(
        QString::asprintf(" %d Sessions, %d Active", int(SessionsList.size()), NumActive));

    std::vector<int> rows;
    const bool activeOnly = cbActiveOnly->isChecked();
    for (size_t i = 0; i < SessionsList.size(); ++i)
        if (!(activeOnly && isArchived(*SessionsList[i])))
            rows.push_back(int(i));

    const TScanSessionList *list = &SessionsList;
    auto at = [list](int i) -> const TScanSession & { return *(*list)[size_t(i)]; };
    std::vector<GridColumn> cols(6);
    cols[0] = {QStringLiteral("Index"), [](int i) { return QString::number(i); }};
    cols[1] = {QStringLiteral("Session Name"), [at](int i) { return at(i).Name; }};
    cols[2] = {QStringLiteral("Scans"), [at](int i) { return QString::number(at(i).Count); }};
    cols[3] = {QStringLiteral("Updated"),
        [at](int i) { return gridDateText(GetLocalTime(at(i).TimeStamp), false); }, {},
        [at](int i) { return at(i).TimeStamp; }};
    cols[4] = {QStringLiteral("Creator"), [at](int i) { return at(i).Creator; }};
    cols[5].button
        = [at](int i) { return isActive(at(i)) ? QStringLiteral(" Archive ") : QString(); };
    grdSessions->fill(std::move(cols), std::move(rows));
    // The list may be replaced before the next rebuild; the grid keeps its own texts.
    grdSessions->freeze();
    grdSessions->HideColumn(0);
    grdSessions->AutoSizeColumns(8);
}

void TKestrunF::cbActiveOnlyClick()
{
    SessionsToGrid(ScanSessionList);
}

void TKestrunF::grdSessionsGridHint(int, int ACol, QString &hintstr)
{
    if (ACol == 4)
        hintstr = QStringLiteral("Makes session inactive, does not delete anything");
}

void TKestrunF::grdSessionsButtonClick(int ACol, int ARow)
{
    if (ACol > 0 && ARow > 0)
        RemoveSession(recordOfRow(grdSessions, ARow, ScanSessionList));
}

void TKestrunF::RemoveSession(TScanSession *Session)
{
    if (!Session)
        return;
    if (!MessageDlgYesNo(archiveQuestion(*Session)))
        return;
    const EditResult r = archiveSession(ScanSessionList, *Session, dbFileName);
    if (r.status == EditStatus::CloudFailed)
        ShowMessage(archiveFailedText(*Session, r.error));
    SessionsToGrid(ScanSessionList);
}

void TKestrunF::grdSessionsDblClickCell(int ARow, int ACol)
{
    if (ACol != 0 || ARow <= 0)
        return;
    if (TScanSession *s = recordOfRow(grdSessions, ARow, ScanSessionList))
        ShowSessionScans(s);
}
