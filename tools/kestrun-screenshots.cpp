// Renders the main window on each page and the login dialog to PNG files, in a fresh home
// folder. With the demo account in the environment (tools/dev-services) it first collects
// the demo data from the Home page, logging in through the dialog as a new user would.
#include "Dialogs.h"
#include "KestrunU.h"
#include "LoginU.h"
#include "StringGrid.h"
#include "TApplication.h"
#include "qzCloud.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
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
        LoginF = nullptr;
        KestrunF = nullptr;
    }
    AzureStop();
    return ok ? 0 : 1;
}
