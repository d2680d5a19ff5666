#include "TApplication.h"

#include "Dialogs.h"

#include <QFont>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {
std::function<void(int)> &haltHandler()
{
    static std::function<void(int)> h;
    return h;
}
} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) { }

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowMessage(QString::fromLocal8Bit(e.what()));
    }
    return true;
}

void Halt(int code)
{
    if (haltHandler()) {
        haltHandler()(code);
        return;
    }
    std::fflush(nullptr);
    std::exit(code);
}

void setHaltHandler(std::function<void(int)> handler)
{
    haltHandler() = std::move(handler);
}

QFont windowFont(const QString &family, int pixelSize)
{
    QFont f;
    // The original platform's font where it is installed, else its nearest free look-alike.
    f.setFamilies({family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    return f;
}
