#pragma once

#include <QApplication>

// The program's application object. Handlers catch their own errors
// (runGuarded); an exception that escapes one all the same ends up in
// notify(), which shows it in the application-wide error box and lets the
// message loop go on.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
