#include "KestrunU.h"

#include "CollectScans.h"
#include "Controls.h"
#include "Dialogs.h"
#include "LoginU.h"
#include "ScanExport.h"
#include "TApplication.h"
#include "gMapU.h"
#include "qzCloud.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

TScanSessionList ScanSessionList;
TScanList ScanList;
TVisIDLookupList VisIdLookupList;
std::unique_ptr<TScanSession> AllScansSession;
int ScanCount = 0;
int SessionCount = 0;
QString dbFileName;
TKestrunF *KestrunF = nullptr;

void resetKestrunState()
{
    FreeScanSessionList(ScanSessionList);
    FreeScanList(ScanList);
    FreeLookupList(VisIdLookupList);
    AllScansSession.reset();
    ScanCount = 0;
    SessionCount = 0;
    dbFileName.clear();
}

void CreateAllScansSession()
{
    auto s = std::make_unique<TScanSession>();
    s->Id = 0;
    s->Creator = TagSettings.Email;
    s->Date = nowLocal();
    s->Name = QStringLiteral("All Scans");
    s->Count = ScanCount;
    s->Value1Name = QStringLiteral("Value 1");
    s->Value2Name = QStringLiteral("Value 2");
    s->Value3Name = QStringLiteral("Value 3");
    AllScansSession = std::move(s);
}

bool ReloadLocalLists(const QString &fileName)
{
    if (!dbOpenScans(fileName))
        return false;
    FreeScanSessionList(ScanSessionList);
    ScanSessionList = QueryScanSessions();
    FreeLookupList(VisIdLookupList);
    VisIdLookupList = QueryLookups();
    dbClose();
    return true;
}

QString databaseFailureText(const QString &fileName)
{
    return QStringLiteral("Exiting, cannot open database ^M") + fileName
        + QStringLiteral(" Try deleting SCANS.DB, and restart the program.  Your scans still "
                         "exist on our system and can be recovered with Collect Scans.");
}

namespace {
const char *const kStyle = R"(
#KestrunF { background: #000000; }
#pnTop, #Panel2 { background: #000000; }
#lbCaption { color: #ffffff; font-size: 19px; font-weight: bold; }
#sv { background: #1c1c1c; }
#sv TClickPanel { color: #ffffff; font-size: 16px; font-weight: bold; background: #1c1c1c; }
#sv TClickPanel:hover { background: #333333; }
#PageControl1::pane { border: 0; }
#tbHome, #tbSettings { background: #000000; }
#tbSessions, #tbVisIDs, #tbDebug, #tbScans, #tbAccount { background: #ffffff; }
#pnHomeTop { background: #1c1c1c; }
#lbWelcome { color: #ffffff; font-size: 16px; font-weight: bold; }
#lbStatus, #Label4, #Label5, #lbSettings { color: #ffffff; }
#lbStatus { font-size: 14px; }
#pnDownload { background: #fff8dc; color: #000000; font-size: 15px; font-weight: bold;
              border: 2px outset #e6dcb4; border-radius: 4px; }
#pnDownload:hover { background: #fff2c0; }
#lbDownloading { background: #ffffff; color: #000000; padding: 0 8px; }
#pnScanBottom, #Panel10, #pnSessionsTop, #pnVisIDsTop { background: #f0f0f0; }
#pnSessionsLeft, #pnSessionInfo, #pnVisIDsTop { color: #000000; font-size: 14px; }
#pnExport, #pnClearSelections, #pnShowMap { color: #000000; font-size: 14px;
    background: #ffffff; border: 1px solid #c8c8c8; border-radius: 3px; }
#pnExport:hover, #pnClearSelections:hover, #pnShowMap:hover { background: #e5f1fb; }
#cbActiveOnly { color: #000000; }
TStringGrid { background: #ffffff; color: #000000; gridline-color: #dcdcdc;
    selection-background-color: #cce4f7; selection-color: #000000; }
TStringGrid QHeaderView::section { background: #f3f3f3; color: #000000; font-weight: bold;
    border: 0; border-right: 1px solid #dcdcdc; border-bottom: 1px solid #c8c8c8;
    padding: 0 4px; }
TStringGrid QHeaderView::section:hover { background: #e5f1fb; }
)";

QSize iconSize()
{
    return {48, 54};
}
} // namespace

TKestrunF::TKestrunF(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("KestrunF"));
    setAttribute(Qt::WA_StyledBackground);
    setFont(windowFont(QStringLiteral("Tahoma"), 13));
    // The window has no title text.
    setWindowTitle(QStringLiteral(" "));
    resize(914, 458);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    buildTopBar();
    outer->addWidget(pnTop);
    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    buildNavigation();
    middle->addWidget(sv);
    buildPages();
    middle->addWidget(PageControl1, 1);
    outer->addLayout(middle, 1);
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAttribute(Qt::WA_StyledBackground);
    Panel2->setFixedHeight(41);
    outer->addWidget(Panel2);
    setStyleSheet(QString::fromLatin1(kStyle));

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    OnExportScans = ExportScans;
    OnShowScansOnMap = ShowScansOnMap;
    FormCreate();
}

TKestrunF::~TKestrunF()
{
    if (KestrunF == this)
        KestrunF = nullptr;
}

void TKestrunF::buildTopBar()
{
    pnTop = new QWidget(this);
    pnTop->setObjectName(QStringLiteral("pnTop"));
    pnTop->setAttribute(Qt::WA_StyledBackground);
    pnTop->setFixedHeight(56);
    auto *l = new QHBoxLayout(pnTop);
    l->setContentsMargins(3, 1, 3, 1);
    l->setSpacing(6);
    Image5 = new TClickImage(QStringLiteral(":/icons/menu.svg"), {48, 54}, pnTop);
    Image5->setObjectName(QStringLiteral("Image5"));
    Image5->setCursor(Qt::PointingHandCursor);
    lbCaption = new QLabel(QStringLiteral("Kestrun"), pnTop);
    lbCaption->setObjectName(QStringLiteral("lbCaption"));
    lbCaption->setFont(windowFont(QStringLiteral("Segoe UI"), 19));
    imgLogin = new TClickImage(QStringLiteral(":/icons/login.svg"), {50, 54}, pnTop);
    imgLogin->setObjectName(QStringLiteral("imgLogin"));
    imgLogin->setToolTip(QStringLiteral("Login"));
    imgLogin->setCursor(Qt::PointingHandCursor);
    l->addWidget(Image5);
    l->addWidget(lbCaption);
    l->addStretch(1);
    l->addWidget(imgLogin);
    connect(Image5, &TClickImage::clicked, this, &TKestrunF::Image5Click);
    connect(imgLogin, &TClickImage::clicked, this, &TKestrunF::imgLoginClick);
}

TClickPanel *TKestrunF::navEntry(TClickPanel *&panel, TClickImage *&image, const char *panelName,
    const char *imageName, const QString &icon, const QString &caption, int number)
{
    panel = new TClickPanel(caption, sv);
    panel->setObjectName(QLatin1String(panelName));
    panel->Tag = number;
    panel->setFixedHeight(54);
    panel->setAlignment(Qt::AlignCenter);
    // The caption starts right of the icon; in the compact pane it falls outside the panel.
    panel->setContentsMargins(TSplitView::CompactWidth, 0, 0, 0);
    image = new TClickImage(icon, iconSize(), panel);
    image->setObjectName(QLatin1String(imageName));
    image->Tag = number;
    image->move(3, 0);
    TClickPanel *p = panel;
    TClickImage *img = image;
    connect(p, &TClickPanel::clicked, this, [this, p] { Panel7Click(p); });
    connect(img, &TClickImage::clicked, this, [this, img] { Image4Click(img); });
    return panel;
}

void TKestrunF::buildNavigation()
{
    sv = new TSplitView(this);
    sv->setObjectName(QStringLiteral("sv"));
    sv->setAttribute(Qt::WA_StyledBackground);
    auto *l = new QVBoxLayout(sv);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(navEntry(Panel7, Image4, "Panel7", "Image4", QStringLiteral(":/icons/home.svg"),
        QStringLiteral("   Home   "), 0));
    l->addWidget(navEntry(Panel6, Image3, "Panel6", "Image3",
        QStringLiteral(":/icons/sessions.svg"), QStringLiteral("      Sessions   "), 1));
    l->addWidget(navEntry(pnScans, Image12, "pnScans", "Image12",
        QStringLiteral(":/icons/scans.svg"), QStringLiteral(" Scans "), 5));
    l->addWidget(navEntry(Panel5, Image2, "Panel5", "Image2", QStringLiteral(":/icons/visids.svg"),
        QStringLiteral("        Visible IDs"), 2));
    l->addWidget(navEntry(Panel9, Image6, "Panel9", "Image6", QStringLiteral(":/icons/account.svg"),
        QStringLiteral("    Account"), 3));
    l->addStretch(1);
    l->addWidget(navEntry(pnSvDebug, Image1, "pnSvDebug", "Image1",
        QStringLiteral(":/icons/debug.svg"), QStringLiteral("  Debug"), 4));
}

void TKestrunF::buildPages()
{
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    auto page = [this](QWidget *&w, const char *name, const QString &caption) {
        w = new QWidget;
        w->setObjectName(QLatin1String(name));
        w->setAttribute(Qt::WA_StyledBackground);
        PageControl1->addTab(w, caption);
    };
    page(tbHome, "tbHome", QStringLiteral("Home"));
    page(tbSessions, "tbSessions", QStringLiteral("Sessions"));
    page(tbVisIDs, "tbVisIDs", QStringLiteral("Visible IDs"));
    page(tbSettings, "tbSettings", QStringLiteral("Settings"));
    page(tbDebug, "tbDebug", QStringLiteral("Debug"));
    page(tbScans, "tbScans", QStringLiteral("Scans"));
    page(tbAccount, "tbAccount", QStringLiteral("Account"));
    buildHomePage();

    auto *settings = new QVBoxLayout(tbSettings);
    auto *lbSettings = new QLabel(QStringLiteral("Settings Page"), tbSettings);
    lbSettings->setObjectName(QStringLiteral("lbSettings"));
    settings->addWidget(lbSettings, 0, Qt::AlignCenter);

    buildSessionsPage();
    buildScansPage();
    buildVisIdsPage();
}

void TKestrunF::buildHomePage()
{
    auto *page = new QVBoxLayout(tbHome);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    pnHomeTop = new QWidget(tbHome);
    pnHomeTop->setObjectName(QStringLiteral("pnHomeTop"));
    pnHomeTop->setAttribute(Qt::WA_StyledBackground);
    pnHomeTop->setFixedHeight(41);
    auto *top = new QHBoxLayout(pnHomeTop);
    top->setContentsMargins(12, 0, 12, 0);
    lbWelcome = new QLabel(pnHomeTop);
    lbWelcome->setObjectName(QStringLiteral("lbWelcome"));
    top->addWidget(lbWelcome);
    page->addWidget(pnHomeTop);

    auto *body = new QHBoxLayout;
    body->setContentsMargins(12, 12, 12, 12);
    body->setSpacing(18);
    Image10 = new TClickImage(QStringLiteral(":/icons/cattle.svg"), {120, 200}, tbHome);
    Image10->setObjectName(QStringLiteral("Image10"));
    Image10->setCursor(Qt::PointingHandCursor);
    body->addWidget(Image10, 0, Qt::AlignTop);

    auto *col = new QVBoxLayout;
    col->setSpacing(10);
    lbStatus = new QLabel(tbHome);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    col->addWidget(lbStatus);
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    pnDownload = new TClickPanel(QStringLiteral("Collect Scans"), tbHome);
    pnDownload->setObjectName(QStringLiteral("pnDownload"));
    pnDownload->setAlignment(Qt::AlignCenter);
    pnDownload->setFixedSize(297, 41);
    row->addWidget(pnDownload);
    pbDownload = new QProgressBar(tbHome);
    pbDownload->setObjectName(QStringLiteral("pbDownload"));
    pbDownload->setFixedSize(160, 18);
    pbDownload->setTextVisible(false);
    pbDownload->hide();
    row->addWidget(pbDownload);
    lbDownloading = new QLabel(tbHome);
    lbDownloading->setObjectName(QStringLiteral("lbDownloading"));
    lbDownloading->setAttribute(Qt::WA_StyledBackground);
    lbDownloading->setFixedHeight(41);
    row->addWidget(lbDownloading);
    row->addStretch(1);
    col->addLayout(row);
    Label4 = new QLabel(
        QStringLiteral("Collect Scans will collect all new scans from mobile devices, and "),
        tbHome);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label5 = new QLabel(QStringLiteral("synchronize your account settings."), tbHome);
    Label5->setObjectName(QStringLiteral("Label5"));
    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    lines->addWidget(Label4);
    lines->addWidget(Label5);
    col->addLayout(lines);
    col->addStretch(1);
    body->addLayout(col, 1);
    page->addLayout(body, 1);

    connect(pnDownload, &TClickPanel::clicked, this, &TKestrunF::pnDownloadClick);
    connect(Image10, &TClickImage::clicked, this, &TKestrunF::pnDownloadClick);
}

void TKestrunF::FormCreate()
{
    // Every later table operation goes to the scan storage account.
    AzureStop();
    AzureStart('S');
}

void TKestrunF::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TKestrunF::FormShow()
{
    CreateAllScansSession();
    PageControl1->tabBar()->hide();
    PageControl1->setCurrentIndex(PageHome);
    lbDownloading->hide();
    pnScanBottom->clear();
    TagSettings.Load();
    pnSvDebug->setVisible(TagSettings.Admin);
    lbWelcome->setText(TagSettings.NewUser ? QStringLiteral("Welcome New User !")
                                           : QStringLiteral("Welcome ") + TagSettings.Name);
    OpenLocalDB();
}

void TKestrunF::closeEvent(QCloseEvent *e)
{
    FormClose();
    QWidget::closeEvent(e);
}

void TKestrunF::FormClose()
{
    CurrentSession = nullptr;
    m_currentSessionUid.clear();
    FreeScanSessionList(ScanSessionList);
    AllScansSession.reset();
}

void TKestrunF::OpenLocalDB()
{
    dbFileName = scansDbFileName();
    if (!ReloadLocalLists(dbFileName)) {
        ShowMessage(databaseFailureText(dbFileName));
        Halt(0);
        return;
    }
    SessionsToGrid(ScanSessionList);
    LookupsToGrid();
    ShowStatus();
}

void TKestrunF::GotoMainPage(int Value)
{
    PageControl1->setCurrentIndex(Value);
    lbDownloading->hide();
}

void TKestrunF::GetCounts()
{
    const ScanCounts c = countScans(ScanSessionList);
    ScanCount = c.ScanCount;
    SessionCount = c.SessionCount;
}

void TKestrunF::ShowStatus()
{
    GetCounts();
    lbStatus->setText(statusLine({ScanCount, int(ScanSessionList.size())}));
}

void TKestrunF::ShowAccount()
{
    GotoMainPage(PageAccount);
}

void TKestrunF::Panel7Click(QObject *Sender)
{
    const int number = static_cast<TClickPanel *>(Sender)->Tag;
    if (number == PageSettings) {
        ShowAccount();
    } else if (number == PageScans) {
        ShowAllScans();
    } else {
        GotoMainPage(number);
    }
}

void TKestrunF::Image4Click(QObject *Sender)
{
    const int number = static_cast<TClickImage *>(Sender)->Tag;
    if (number == PageScans) {
        ShowAllScans();
    } else {
        GotoMainPage(number);
    }
}

void TKestrunF::Image5Click()
{
    if (sv->Opened())
        sv->Close();
    else
        sv->Open();
}

void TKestrunF::imgLoginClick()
{
    DoLogin();
}

void TKestrunF::pnDownloadClick()
{
    const auto merging = [this] {
        // All the work below blocks the window: show that it is busy before it starts.
        lbDownloading->clear();
        pnDownload->setText(QStringLiteral("Checking ..."));
        pbDownload->setRange(0, 1);
        pbDownload->setValue(0);
        pbDownload->show();
        pnDownload->repaint();
        pbDownload->repaint();
    };
    const auto progress = [this](const SyncProgress &p) {
        pbDownload->setRange(0, qMax(1, p.sessionsTotal));
        pbDownload->setValue(p.sessionsDone);
        pbDownload->repaint();
    };
    const CollectResult r = CollectScans(
        ScanSessionList, VisIdLookupList, dbFileName, [] { DoLogin(); }, progress, merging);
    if (r.status == CollectStatus::NoAccount)
        return;
    if (r.status == CollectStatus::LoginRefused) {
        ShowMessage(r.text);
        return;
    }
    pbDownload->hide();
    lbDownloading->setText(r.text);
    // A run that failed in part must not read as a plain result.
    lbDownloading->setStyleSheet(
        r.status == CollectStatus::Failed ? QStringLiteral("color: #c00000;") : QString());
    lbDownloading->show();
    pnDownload->setText(QStringLiteral("Collect Scans"));
    OpenLocalDB();
}
