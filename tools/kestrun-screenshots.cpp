// Renders the main window on each page and the login dialog to PNG files, in a fresh home
// folder, so that what a user sees can be looked at without a screen.
#include "Dialogs.h"
#include "KestrunU.h"
#include "LoginU.h"
#include "TApplication.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextStream>

#include "qzCloud.h"

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
    bool ok = true;
    {
        TKestrunF w;
        KestrunF = &w;
        TLoginF login(&w);
        LoginF = &login;
        w.show();
        ok &= save(&w, out, QStringLiteral("01-home-new-user"));

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
        w.Image5Click();
        w.GotoMainPage(TKestrunF::PageHome);
        ok &= save(&w, out, QStringLiteral("09-home-compact-pane"));
        w.Image5Click();

        login.show();
        ok &= save(&login, out, QStringLiteral("10-login"));
        login.Panel3Click();
        ok &= save(&login, out, QStringLiteral("11-register"));
        login.hide();
        LoginF = nullptr;
        KestrunF = nullptr;
    }
    AzureStop();
    return ok ? 0 : 1;
}
