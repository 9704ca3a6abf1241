#pragma once

#include <QDateTime>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <list>
#include <memory>
#include <optional>
#include <vector>

#include "conversion/camerarecord.h"
#include "conversion/clipidentity.h"
#include "conversion/encoderoutcome.h"
#include "conversion/encoderoutput.h"
#include "conversion/runfolder.h"

class UnfinishedOutput;

// One run of the encoder over the clips of a folder, one clip at a time, in
// the order given. Each clip starts from the end of the one before, so
// nothing else the program does (a dialog, a wait of its own) holds the run
// back, and a clip's outcome is decided by its own encoder's exit alone.
//
// Each MP4 is written aside and put in place only once whole, on a worker
// thread: flushing a large file to a slow card takes long, and the window
// must not wait for it. The next clip may start meanwhile. A clip that fails
// or is stopped leaves no file behind, and the run deletes nothing else.
//
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
    // input) and killed, with all it started, if it has not ended within 3 s.
    // MP4s being put in place are whole: they are waited for and keep their
    // outcomes. Returns once every encoder has ended and its file is gone.
    // An encoder that had already exited when this was called keeps its outcome.
    void stop();

    int convertedCount() const { return converted; }
    int failedCount() const { return failed; }

signals:
    void clipStarted(int index, const QString &sourceName);
    // How far the encoder is with the clip, as it reports it; not at all when
    // it does not tell.
    void clipProgress(int index, double fraction);
    // In the clips' order, but may come after the next clip's clipStarted():
    // a clip is finished once its MP4 is in place.
    void clipFinished(int index, const QString &sourceName, const QString &outputName,
                      const EncoderOutcome &outcome);
    // Every clip has its outcome. Not emitted after stop().
    void finished();

private:
    enum class State {
        Idle,        // no encoder runs: before the start, between clips, at the end
        ReadingDate, // the clip's recorded date is read on a worker thread
        Starting,    // inside QProcess::start(), which may report a failed start itself
        Encoding,    // the encoder runs
        StopAsked,   // the run stops, and the running encoder was asked to stop
        Stopped,     // the run stops: no clip starts any more
        Finished,    // every clip has its outcome and finished() was emitted
    };

    struct Clip
    {
        int index = -1;
        QString sourceName;
        QString outputName;
        ClipIdentity identity; // compared before and after the encoder
        QDateTime mp4Date;     // the date the MP4 takes
        CameraRecord camera;   // what the camera recorded in the clip
        std::shared_ptr<UnfinishedOutput> output;
    };

    struct Report
    {
        int index;
        QString sourceName;
        QString outputName;
        EncoderOutcome outcome;
    };

    struct Placement
    {
        Clip clip;
        EncoderOutcome outcome;
        QFutureWatcher<QString> watcher;
    };

    void startNext();
    void readDate();
    void dateRead();
    bool startEncoder();
    void readEncoder();
    void encoderFinished(int exitCode, QProcess::ExitStatus status);
    void encoderFailedToStart();
    void encoderEnded(EncoderOutcome outcome);
    void endWholeEncoder();
    void placementEnded(Placement *placement);
    void report(const Clip &ended, const EncoderOutcome &outcome);
    bool outputBeingPlaced(const QString &outputName) const;
    bool stopping() const { return state == State::StopAsked || state == State::Stopped; }

    const QString encoder;
    const QStringList sourceNames;
    const RunFolder folder;

    State state = State::Idle;
    int next = 0;
    Clip clip;
    std::unique_ptr<QFutureWatcher<CameraRecord>> dateReader;
    std::unique_ptr<QProcess> process;
    qint64 encoderGroup = 0;
    EncoderOutput output;
    double reportedFraction = -1;
    std::list<std::unique_ptr<Placement>> placements;
    std::vector<Report> held;       // outcomes waiting for an earlier clip's to be told
    QHash<QString, QString> madeBy; // MP4 name -> the clip that made it in this run
    int converted = 0;
    int failed = 0;
#ifdef Q_OS_WIN
    void *job = nullptr; // the encoder and all it starts die with Tessel
#endif
};
