#pragma once

#include <QDateTime>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <memory>
#include <optional>

#include "conversion/encoderoutcome.h"
#include "conversion/encoderoutput.h"

// One run of the encoder over the clips of a folder, one clip at a time, in
// the order given. Each clip starts from the end of the one before, so
// nothing else the program does (a dialog, a wait of its own) holds the run
// back, and a clip's outcome is decided by its own encoder's exit alone.
//
// Each MP4 is written aside and put in place only once whole; a clip that
// fails or is stopped leaves no file behind, and the run deletes nothing else.
// The MP4 carries the date the camera recorded in the clip, or else the clip
// file's date; that date is read off this thread before the encoder starts.
class ConversionRun : public QObject
{
    Q_OBJECT

public:
    ConversionRun(const QString &encoder, const QString &folder, const QStringList &sourceNames,
                  QObject *parent = nullptr);
    // Stops the run if it is still going.
    ~ConversionRun() override;

    void start();

    // No further clip starts; the running encoder is asked to stop ("q" on its
    // input) and killed if it has not ended within 3 s. Returns once it has
    // ended and its file is gone. An encoder that had already exited when
    // this was called keeps its outcome.
    void stop();

    int convertedCount() const { return converted; }
    int failedCount() const { return failed; }

signals:
    void clipStarted(int index, const QString &sourceName);
    // How far the encoder is with the clip, as it reports it; not at all when
    // it does not tell.
    void clipProgress(int index, double fraction);
    void clipFinished(int index, const QString &sourceName, const QString &outputName,
                      const EncoderOutcome &outcome);
    // Every clip has its outcome. Not emitted after stop().
    void finished();

private:
    struct Clip
    {
        int index = -1;
        QString sourceName;
        QString outputName;
        QString sourcePath;
        QString outputPath;
        QString temporaryPath;
        qint64 sourceSize = -1;
        QDateTime sourceModified; // with the size, tells a clip that changed during the run
        QDateTime shotAt;         // the MP4's date
    };

    void startNext();
    void readShotAt();
    void shotAtRead();
    void readEncoder();
    bool startEncoder();
    void encoderFinished(int exitCode, QProcess::ExitStatus status);
    void encoderFailedToStart();
    void settle(EncoderOutcome outcome);

    const QString encoder;
    const QString folder;
    const QStringList sourceNames;

    int next = 0;
    Clip clip;
    // Set while the current clip's recorded date is being read.
    std::unique_ptr<QFutureWatcher<std::optional<QDateTime>>> dateReader;
    std::unique_ptr<QProcess> process;
    EncoderOutput output;
    double reportedFraction = -1;
    QHash<QString, QString> madeBy; // MP4 name -> the clip that made it in this run
    int converted = 0;
    int failed = 0;
    bool awaitingEnd = false; // the current clip's encoder has not ended yet
    bool inStart = false;
    bool stopping = false;
    bool stopRequested = false;
};
