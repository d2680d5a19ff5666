// The desktop program: creates its windows hidden, shows the main window and runs the event
// loop until that window is closed.
#include "KestrunU.h"
#include "LoginU.h"
#include "ScanExport.h"
#include "TApplication.h"
#include "gMapU.h"
#include "qzCloud.h"

#include <unistd.h>

int main(int argc, char **argv)
{
    // The cloud connection exists before any window does.
    AzureStart('B');
    // The map's browser engine refuses to run as root with its sandbox on.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrun"));
    QApplication::setQuitOnLastWindowClosed(true);

    int rc = 0;
    {
        TKestrunF mainWindow; // FormCreate runs here
        KestrunF = &mainWindow;
        TLoginF loginWindow(&mainWindow);
        LoginF = &loginWindow;
        TExportF exportWindow(&mainWindow);
        ExportF = &exportWindow;
        TgMapF mapWindow(&mainWindow);
        gMapF = &mapWindow;
        mainWindow.show(); // FormShow runs on this first showing
        rc = TApplication::exec();
        gMapF = nullptr;
        ExportF = nullptr;
        LoginF = nullptr;
        KestrunF = nullptr;
    }
    AzureStop();
    return rc;
}
