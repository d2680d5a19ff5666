#pragma once

#include "ScanRecords.h"

#include <QString>
#include <QWidget>

#include <memory>

class QLabel;
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

    // Scans page
    TClickPanel *pnScanBottom = nullptr;

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

public:
    void SessionsToGrid(const TScanSessionList &sessions);
    void LookupsToGrid();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildTopBar();
    void buildNavigation();
    void buildPages();
    void buildHomePage();
    void openAllScansView();
    TClickPanel *navEntry(TClickPanel *&panel, TClickImage *&image, const char *panelName,
        const char *imageName, const QString &icon, const QString &caption, int number);

    bool m_shown = false;
};

extern TKestrunF *KestrunF;
