#pragma once

#include "ScanRecords.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class TStringGrid;
class QProgressBar;
class QTabWidget;
class TClickImage;
class TClickPanel;
class TSplitView;

// The program-wide state that every page reads.
extern TScanSessionList ScanSessionList; // every local session, newest TimeStamp first
extern TScanList ScanList; // the scans the Scans page shows
extern TVisIDLookupList VisIdLookupList; // every local lookup
extern std::unique_ptr<TScanSession> AllScansSession; // the synthetic "All Scans" session
extern int ScanCount;
extern int SessionCount;
extern QString dbFileName;

// Releases the lists and clears the rest, as at program start; for tests.
void resetKestrunState();

// Makes AllScansSession.
void CreateAllScansSession();
// Replaces ScanSessionList and VisIdLookupList with the local store's contents; false, with the
// lists left as they were, when the database cannot be opened.
bool ReloadLocalLists(const QString &fileName);
// The message shown before the program ends over a database that cannot be opened.
QString databaseFailureText(const QString &fileName);

class TKestrunF : public QWidget
{
    Q_OBJECT
public:
    explicit TKestrunF(QWidget *parent = nullptr);
    ~TKestrunF() override;

    // Page numbers of PageControl1.
    enum Page {
        PageHome = 0,
        PageSessions,
        PageVisIDs,
        PageSettings,
        PageDebug,
        PageScans,
        PageAccount,
        PageCount
    };

    // The session whose scans the Scans page shows; not owned.
    TScanSession *CurrentSession = nullptr;

    QWidget *pnTop = nullptr;
    TClickImage *Image5 = nullptr; // menu icon
    QLabel *lbCaption = nullptr;
    TClickImage *imgLogin = nullptr;
    TSplitView *sv = nullptr;
    TClickPanel *Panel7 = nullptr, *Panel6 = nullptr, *pnScans = nullptr, *Panel5 = nullptr,
                *Panel9 = nullptr, *pnSvDebug = nullptr;
    TClickImage *Image4 = nullptr, *Image3 = nullptr, *Image12 = nullptr, *Image2 = nullptr,
                *Image6 = nullptr, *Image1 = nullptr;
    QWidget *Panel2 = nullptr; // bottom strip
    QTabWidget *PageControl1 = nullptr;
    QWidget *tbHome = nullptr, *tbSessions = nullptr, *tbVisIDs = nullptr, *tbSettings = nullptr,
            *tbDebug = nullptr, *tbScans = nullptr, *tbAccount = nullptr;

    // Home page
    QWidget *pnHomeTop = nullptr;
    QLabel *lbWelcome = nullptr;
    QLabel *lbStatus = nullptr;
    TClickPanel *pnDownload = nullptr;
    QProgressBar *pbDownload = nullptr;
    QLabel *lbDownloading = nullptr;
    QLabel *Label4 = nullptr, *Label5 = nullptr;
    TClickImage *Image10 = nullptr;

    // Sessions page
    QWidget *pnSessionsTop = nullptr;
    QLabel *pnSessionsLeft = nullptr;
    QCheckBox *cbActiveOnly = nullptr;
    TStringGrid *grdSessions = nullptr;

    // Scans page
    QWidget *Panel10 = nullptr;
    TClickImage *Image8 = nullptr;
    QLabel *pnSessionInfo = nullptr;
    TClickPanel *pnExport = nullptr;
    TClickImage *Image11 = nullptr;
    TStringGrid *grdScans = nullptr;
    TClickPanel *pnScanBottom = nullptr;
    TClickPanel *pnClearSelections = nullptr;
    TClickPanel *pnShowMap = nullptr;

    // Visible IDs page
    QLabel *pnVisIDsTop = nullptr;
    TStringGrid *grdLookups = nullptr;

    // Where the Scans page sends its scans: the export dialog and the map window. Tests
    // look at what is handed over by putting their own in place.
    std::function<void(const TScanRefs &, TScanSession &)> OnExportScans;
    std::function<void(const TScanRefs &)> OnShowScansOnMap;

public slots:
    void FormCreate();
    void FormShow();
    void FormClose();
    void OpenLocalDB();
    void GotoMainPage(int Value);
    void GetCounts();
    void ShowStatus();
    void Panel7Click(QObject *Sender);
    void Image4Click(QObject *Sender);
    void Image5Click();
    void imgLoginClick();
    void pnDownloadClick();
    void ShowAccount();

    // Sessions page
    void cbActiveOnlyClick();
    void grdSessionsGridHint(int ARow, int ACol, QString &hintstr);
    void grdSessionsButtonClick(int ACol, int ARow);
    void grdSessionsDblClickCell(int ARow, int ACol);

    // Scans page
    void grdScansSelectCell();
    void grdScansCheckBoxChange();
    void pnClearSelectionsClick();
    void pnExportClick();
    void pnShowMapClick();
    void Image8Click();

    // Visible IDs page
    void grdLookupsButtonClick(int ACol, int ARow);

public:
    void SessionsToGrid(const TScanSessionList &sessions);
    void RemoveSession(TScanSession *Session);
    void LookupsToGrid();

    void LoadScans(const TScanSession &Session, const QString &EID);
    void ScansToGrid(const TScanSession &Session, const TScanList &Scans);
    QString GetSessionName(const QString &SessionUID) const;
    int SelectedCount() const;
    void ShowSelectedScans(const TScanSession *session);
    void PrepareExport();
    void MapScans();
    // The three ways onto the Scans page.
    void ShowAllScans();
    void ShowSessionScans(TScanSession *session);
    void ShowEidScans(const QString &eid);

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildTopBar();
    void buildNavigation();
    void buildPages();
    void buildHomePage();
    void buildSessionsPage();
    void buildScansPage();
    void buildVisIdsPage();
    // The scans of the grid to export or map: the selected rows, or all, as displayed.
    TScanRefs scansOfGrid() const;
    TClickPanel *navEntry(TClickPanel *&panel, TClickImage *&image, const char *panelName,
        const char *imageName, const QString &icon, const QString &caption, int number);

    bool m_shown = false;
    QHash<QString, QString> m_sessionNames; // Uid -> Name, built once per scan view
    QString m_currentSessionUid; // finds CurrentSession again in a reloaded list
};

extern TKestrunF *KestrunF;
