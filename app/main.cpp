// The desktop program: creates its windows hidden, shows the main window and runs the event
// loop until that window is closed.
#include "KestrunU.h"
#include "LoginU.h"
#include "TApplication.h"

#ifdef KESTRUN_HAVE_SYNC
#include "qzCloud.h"
#endif

int main(int argc, char **argv)
{
#ifdef KESTRUN_HAVE_SYNC
    // The cloud connection exists before any window does.
    AzureStart('B');
#endif
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrun"));
    QApplication::setQuitOnLastWindowClosed(true);

    int rc = 0;
    {
        TKestrunF mainWindow; // FormCreate runs here
        KestrunF = &mainWindow;
        TLoginF loginWindow(&mainWindow);
        LoginF = &loginWindow;
        mainWindow.show(); // FormShow runs on this first showing
        rc = TApplication::exec();
        LoginF = nullptr;
        KestrunF = nullptr;
    }
#ifdef KESTRUN_HAVE_SYNC
    AzureStop();
#endif
    return rc;
}
