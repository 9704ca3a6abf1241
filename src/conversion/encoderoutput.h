// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// Reads an encoder's console output (standard error merged in) as it
// arrives: FFmpeg's input duration, its progress, a read of its input that
// failed, and its last words. Lines
// may be split across chunks and end in "\n", "\r\n" or a lone "\r" (FFmpeg
// ends its progress lines with "\r" alone). Memory stays bounded however much
// the encoder prints.
class EncoderOutput
{
public:
    // `inputPath` as the encoder was given it, which is how FFmpeg names the
    // input in its messages.
    explicit EncoderOutput(const QString &inputPath = QString());

    void feed(QByteArrayView chunk);

    // Once the encoder has ended: a last line that never got its line end
    // counts as complete.
    void finish();

    // The first input's "Duration: HH:MM:SS.cc"; unknown for "N/A" or none.
    std::optional<double> durationSeconds() const;

    // The latest "time=" of a progress line over the duration, within [0, 1];
    // unknown when either is (also "time=N/A" and a negative time).
    std::optional<double> fraction() const;

    // The latest "time=" of a progress line: how far into the clip the
    // encoder has got.
    std::optional<double> progressSeconds() const { return time; }

    // The last complete, non-empty lines, progress lines and FFmpeg's banner
    // (version and build configuration) left out, each cut to a bounded
    // length. Oldest first.
    QStringList lastLines() const;

    // The encoder's own last complaint as a short reason for a failed row:
    // a leading path of `pathsToStrip` and FFmpeg's "[ctx @ 0x...] " prefix
    // taken off, cut to about 120 characters. Empty when it said nothing
    // useful.
    QString errorReason(const QStringList &pathsToStrip) const;

    // The encoder said it could not finish writing its output (a full disk
    // when the file is closed), whatever its exit code.
    bool outputUnfinished() const { return unfinishedOutput; }

    // Why reading the input stopped part-way, in FFmpeg's words ("Input/output
    // error"): a failing card, a reader pulled out, a share gone. FFmpeg then
    // finishes the MP4 with what it read and may exit with 0. Empty when the
    // input was read to its end.
    QString inputReadError() const { return readError; }

    static constexpr int keptLines = 12;
    static constexpr int maxLineLength = 1000;
    static constexpr int maxReasonLength = 120;

private:
    void takeLine(const QByteArray &line);

    QByteArray inputPrefix; // "<input path>: ", how FFmpeg starts a line about its input
    QByteArray partial;     // at most maxLineLength bytes; the rest of a longer line is dropped
    QStringList lines;
    bool inBanner = false;
    bool inputOpened = false;
    bool durationSeen = false;
    std::optional<double> duration;
    std::optional<double> time;
    bool unfinishedOutput = false;
    QString readError;
};
