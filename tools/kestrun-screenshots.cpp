// Renders the main window on each page and the login dialog to PNG files, in a fresh home
// folder. With the demo account in the environment (tools/dev-services) it first collects
// the demo data from the Home page, logging in through the dialog as a new user would.
#include "Dialogs.h"
#include "KestrunU.h"
#include "LoginU.h"
#include "MapsStandIn.h"
#include "ScanExport.h"
#include "StringGrid.h"
#include "TApplication.h"
#include "gMapU.h"
#include "qzCloud.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>

namespace {
bool save(QWidget *w, const QString &dir, const QString &name)
{
    QApplication::processEvents();
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = w->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}
// The web page is drawn by its own widget, which a grab of the window leaves out; it is painted
// in where the map sits.
bool saveMapWindow(const QString &dir, const QString &name)
{
    QApplication::processEvents();
    QPixmap shot = gMapF->grab();
    if (QWidget *page = gMapF->gMap->focusProxy()) {
        QPainter p(&shot);
        p.drawPixmap(page->mapTo(gMapF, QPoint(0, 0)), page->grab());
    }
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = shot.save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

// The export dialog and the map window over the scans of the last view (a few made-up ones
// when there are none). The map is drawn by the local Maps stand-in, then as this build's key
// leaves it.
bool exportAndMapShots(const QString &out)
{
    bool ok = true;
    std::vector<TScan> made(3);
    TScanRefs refs;
    for (const auto &s : ScanList)
        refs.push_back(s.get());
    if (refs.empty()) {
        for (int i = 0; i < 3; ++i) {
            made[size_t(i)].Eid = QStringLiteral("98200042010375%1").arg(i);
            made[size_t(i)].Date = 43531.587 + i;
            made[size_t(i)].Latitude = -37.81 + i * 0.02;
            made[size_t(i)].Longitude = 144.96 + i * 0.03;
            refs.push_back(&made[size_t(i)]);
        }
    }
    TScanSession session
        = KestrunF && KestrunF->CurrentSession ? *KestrunF->CurrentSession : TScanSession();
    {
        TExportF f(refs, session);
        f.show();
        ok &= save(&f, out, QStringLiteral("17-export"));
        // Date moved to the top and quoted, another pattern, the EID left out.
        f.moveFieldRow(3, 1);
        f.grd->item(1, TExportF::ColQuoted)->setCheckState(Qt::Checked);
        f.grd->item(3, TExportF::ColExport)->setCheckState(Qt::Unchecked);
        f.cbxDateFormat->setCurrentIndex(12);
        f.PreviewExport();
        ok &= save(&f, out, QStringLiteral("18-export-chosen"));
    }

    const QString builtKey = gMapF->gMap->APIKey;
    auto *standIn = new MapsStandIn(gMapF);
    standIn->install(gMapF->gMap->page()->profile());
    auto shot = [&](const QString &name) {
        QTimer::singleShot(0, [&, name] {
            QElapsedTimer t;
            t.start();
            while (
                gMapF->gMap->loadState() == TWebGMaps::TLoadState::Loading && t.elapsed() < 20000)
                QApplication::processEvents(QEventLoop::AllEvents, 50);
            // A moment for the page to paint what it drew.
            QElapsedTimer paint;
            paint.start();
            while (paint.elapsed() < 1500)
                QApplication::processEvents(QEventLoop::AllEvents, 50);
            ok &= saveMapWindow(out, name);
            gMapF->Button1->click();
        });
        ShowScansOnMap(refs);
    };
    gMapF->gMap->APIKey = QStringLiteral("StandInKeyForScreenshots_0123456789abcd");
    shot(QStringLiteral("19-map-standin"));
    standIn->mode = MapsStandIn::Mode::Unreachable;
    shot(QStringLiteral("20-map-unreachable"));
    gMapF->gMap->APIKey = builtKey;
    standIn->mode = MapsStandIn::Mode::Answer;
    shot(QStringLiteral("21-map-built-key"));
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        QTextStream(stderr) << "usage: kestrun-screenshots OUTDIR\n";
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString home = out + QStringLiteral("/home");
    QDir(home).removeRecursively();
    QDir().mkpath(home);
    qputenv("HOME", home.toLocal8Bit());
    for (const char *v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR"})
        qunsetenv(v);

    AzureStart('B');
    // The map window's browser engine: no sandbox as root, Maps answered locally.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    MapsStandIn::registerScheme();
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrun"));
    DialogScript dialogs; // a message box would wait for a user who is not there
    dialogs.onRequest
        = [](const DialogRequest &r) { QTextStream(stdout) << "message box: " << r.text << '\n'; };
    bool ok = true;
    {
        TKestrunF w;
        KestrunF = &w;
        TLoginF login(&w);
        LoginF = &login;
        TgMapF mapWindow(&w);
        gMapF = &mapWindow;
        w.show();
        ok &= save(&w, out, QStringLiteral("01-home-new-user"));

        const QString email = QString::fromLocal8Bit(qgetenv("KESTRUN_DEMO_EMAIL"));
        const QString password = QString::fromLocal8Bit(qgetenv("KESTRUN_DEMO_PASSWORD"));
        if (!email.isEmpty()) {
            QTimer::singleShot(0, [&] {
                login.edEmail->setText(email);
                login.edPassword->setText(password);
                login.pnLoginClick();
                ok &= save(&login, out, QStringLiteral("10-login-successful"));
                login.Panel2Click();
            });
            w.pnDownloadClick();
            QTextStream(stdout) << "Collect Scans: " << w.lbDownloading->text() << '\n';
            ok &= save(&w, out, QStringLiteral("02-home-after-collect"));
        } else {
            QTextStream(stdout) << "no demo account in the environment; pages are empty\n";
        }

        const struct
        {
            int page;
            const char *name;
        } pages[] = {{TKestrunF::PageSessions, "03-sessions"}, {TKestrunF::PageVisIDs, "04-visids"},
            {TKestrunF::PageSettings, "05-settings"}, {TKestrunF::PageDebug, "06-debug"},
            {TKestrunF::PageScans, "07-scans"}, {TKestrunF::PageAccount, "08-account"}};
        for (const auto &p : pages) {
            w.GotoMainPage(p.page);
            ok &= save(&w, out, QString::fromLatin1(p.name));
        }
        // The three ways onto the Scans page, and every session listed.
        w.ShowAllScans();
        ok &= save(&w, out, QStringLiteral("13-scans-all"));
        if (w.grdSessions->RowCount() > 1) {
            w.grdSessionsDblClickCell(1, 0);
            w.grdScans->SelectRows({1, 3});
            ok &= save(&w, out, QStringLiteral("14-scans-session-selected"));
        }
        // An EID that has scans, to show the view across sessions.
        for (int row = 1; row < w.grdLookups->RowCount(); ++row) {
            w.grdLookupsButtonClick(3, row);
            if (w.grdScans->RowCount() > 1 || row + 1 == w.grdLookups->RowCount()) {
                ok &= save(&w, out, QStringLiteral("15-scans-eid"));
                break;
            }
        }
        w.cbActiveOnly->setChecked(false);
        w.cbActiveOnlyClick();
        w.GotoMainPage(TKestrunF::PageSessions);
        ok &= save(&w, out, QStringLiteral("16-sessions-all"));
        w.cbActiveOnly->setChecked(true);
        w.cbActiveOnlyClick();

        w.Image5Click();
        w.GotoMainPage(TKestrunF::PageHome);
        ok &= save(&w, out, QStringLiteral("09-home-compact-pane"));
        w.Image5Click();

        login.show();
        ok &= save(&login, out, QStringLiteral("11-login"));
        login.Panel3Click();
        ok &= save(&login, out, QStringLiteral("12-register"));
        login.hide();
        ok &= exportAndMapShots(out);
        gMapF = nullptr;
        LoginF = nullptr;
        KestrunF = nullptr;
    }
    AzureStop();
    return ok ? 0 : 1;
}
