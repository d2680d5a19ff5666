#pragma once

#include <QApplication>
#include <QFont>

#include <functional>

// The application object: an error raised inside an event handler ends that handler, its text
// is shown in a message box and the program goes on.
class TApplication : public QApplication
{
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Ends the program at once with the exit code; no window's close handling runs. Tests put a
// handler of their own in its place.
void Halt(int code);
void setHaltHandler(std::function<void(int)> handler);

// A font of the given family and character height in pixels.
QFont windowFont(const QString &family, int pixelSize);
