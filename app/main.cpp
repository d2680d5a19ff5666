// The desktop program: creates its windows hidden, shows the main window and runs the event
// loop until that window is closed.
#include "KestrunU.h"
#include "LoginU.h"
#include "TApplication.h"
#include "qzCloud.h"

int main(int argc, char **argv)
{
    // The cloud connection exists before any window does.
    AzureStart('B');
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
    AzureStop();
    return rc;
}
