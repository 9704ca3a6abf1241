#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Ctrl-C in a terminal, a closed terminal, logging out or shutting down
// (SIGINT, SIGHUP, SIGTERM) close Tessel the way its Close button does, so a
// running conversion stops cleanly and the folder in the field is kept. Only
// one may exist at a time; it does nothing where these signals do not exist.
class QuitOnSignal : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

private:
    void signalArrived();

    int pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
};
