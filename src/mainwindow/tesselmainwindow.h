// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

#include "update/fetchresult.h"

class ConversionRun;
class QAccessibleEvent;
class QSettings;

namespace Ui {
class tesselMainWindow;
}

class tesselMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit tesselMainWindow(QWidget *parent = nullptr);
    ~tesselMainWindow() override;

    // What Close does, done before it returns: a running conversion stops
    // (ConversionRun::stop() and waitForStopped()) and the folder in the
    // field is stored. For the
    // end of the session, after which Windows may end the process before the
    // event loop runs again.
    void stopNow();

    FetchResult fetchUrl(const QString &url);
    TextFetchResult fetchUrlText(const QString &url);

    // Test seams. The shipped program never calls these: it runs the encoder
    // beside its executable and asks the publisher's host.
    void setEncoderPath(const QString &path) { encoderPathOverride = path; }
    void setUpdateBaseUrl(const QUrl &url) { updateBaseUrl = url; }
    void setUpdateTimeout(int milliseconds) { updateTimeoutMs = milliseconds; }
    // What the run tells assistive technology also reaches `listener` where
    // the platform has no accessibility to tell it to (offscreen): Qt then
    // drops every event, before any update handler sees it.
    void setAccessibilityListener(std::function<void(QAccessibleEvent *)> listener)
    {
        accessibilityListener = std::move(listener);
    }

private slots:
    void browse();
    void process();
    void refreshUI();
    void encodeFinished();
    void produceVideoFinished();
    void on_pushButton_2_clicked();
    void on_pushButton_clicked();
    void on_pushButton_open_clicked();

private:
    QString encoderPath() const;
    void storeFolder();
    // The window's one kind of warning: titled "Warning", a single OK.
    void warn(const QString &text);

    std::unique_ptr<QSettings> settings;
    QStringList videoFiles;
    ConversionRun *running = nullptr;
    std::unique_ptr<Ui::tesselMainWindow> ui;

    QString encoderPathOverride;
    QUrl updateBaseUrl;
    int updateTimeoutMs;
    std::function<void(QAccessibleEvent *)> accessibilityListener;
};
