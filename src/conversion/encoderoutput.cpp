// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/encoderoutput.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
// "HH:MM:SS.cc" as FFmpeg prints it. "N/A", and negative times (before the
// first frame), are unknown.
std::optional<double> parseClock(const QByteArray &text)
{
    if (text.startsWith('-'))
        return std::nullopt;
    const QByteArrayList parts = text.split(':');
    if (parts.size() != 3)
        return std::nullopt;
    bool hoursOk = false;
    bool minutesOk = false;
    bool secondsOk = false;
    const int hours = parts.at(0).toInt(&hoursOk);
    const int minutes = parts.at(1).toInt(&minutesOk);
    const double seconds = parts.at(2).toDouble(&secondsOk);
    // "nan" and "inf" read as numbers too; a clip's name can put any text on
    // a line of its own.
    if (!hoursOk || !minutesOk || !secondsOk || hours < 0 || minutes < 0 ||
        !std::isfinite(seconds) || seconds < 0)
        return std::nullopt;
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

// The text after `key` up to `end` (or the line's end).
QByteArray valueAfter(const QByteArray &line, const char *key, char end)
{
    const qsizetype keyAt = line.lastIndexOf(key);
    if (keyAt < 0)
        return QByteArray();
    const qsizetype from = keyAt + qsizetype(qstrlen(key));
    const qsizetype to = line.indexOf(end, from);
    return line.mid(from, to < 0 ? -1 : to - from).trimmed();
}

// What FFmpeg says after the input's path when reading it stopped on an
// error: the C library's text for the errors a failing card, a reader pulled
// out or a dropped share gives (glibc's texts; FFmpeg for Windows has a table
// of its own). The C library on Windows turns most failed ReadFile calls into
// EACCES, EINVAL or ENOENT. FFmpeg's warnings about damaged data take the same
// form ("...: corrupt decoded frame in stream 1") and are no such error.
bool isReadError(QByteArrayView said)
{
    // clang-format off
    static constexpr const char *errors[] = {
        "Input/output error", "I/O error", "Remote I/O error",
        "No such device", "No such device or address", "No medium found", "Bad file descriptor",
        "Stale file handle", "Transport endpoint is not connected", "Connection timed out",
        "Connection reset by peer", "Software caused connection abort", "Host is down",
        "No route to host", "Network is down", "Network is unreachable",
        "Permission denied", "Invalid argument", "No such file or directory"};
    // clang-format on
    return std::any_of(std::cbegin(errors), std::cend(errors),
                       [said](const char *error) { return said == QByteArrayView(error); });
}

bool isProgressLine(const QByteArray &line)
{
    return line.contains("time=") && (line.contains("frame=") || line.contains("size="));
}

// Lines FFmpeg prints on every run, failed or not: the stream listings
// (indented), the closing sizes and its generic last word; and a
// line whose reason it left empty ("Error initializing output stream 0:1 --"
// after a full card), which the line before it gives.
bool isRoutine(const QString &line)
{
    if (line.isEmpty() || line.front().isSpace() || line.endsWith(QLatin1String("--")))
        return true;
    for (const char *start : {"Input #", "Output #", "Stream mapping:", "Press [q]",
                              "video:", "Conversion failed!", "Exiting normally"}) {
        if (line.startsWith(QLatin1String(start)))
            return true;
    }
    return false;
}

QString withoutTrailingSpace(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

QString shortened(QString text, int length)
{
    if (text.size() <= length)
        return text;
    text.truncate(length - 1);
    if (text.back().isHighSurrogate())
        text.chop(1);
    return withoutTrailingSpace(text) + QChar(0x2026);
}
} // namespace

EncoderOutput::EncoderOutput(const QString &inputPath)
    : inputPrefix(inputPath.isEmpty() ? QByteArray() : inputPath.toUtf8() + ": ")
{}

void EncoderOutput::feed(QByteArrayView chunk)
{
    const auto keep = [this](QByteArrayView piece) {
        const qsizetype room = maxLineLength - partial.size();
        partial.append(piece.first(std::min(piece.size(), std::max<qsizetype>(room, 0))));
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        const char c = chunk.at(i);
        if (c != '\n' && c != '\r')
            continue;
        // "\r\n" ends a line and then an empty one, which counts for nothing.
        keep(chunk.sliced(start, i - start));
        takeLine(partial);
        partial.truncate(0);
        start = i + 1;
    }
    keep(chunk.sliced(start));
}

void EncoderOutput::finish()
{
    takeLine(partial);
    partial.truncate(0);
}

void EncoderOutput::takeLine(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    // Said at the very end, sometimes on a progress line, and FFmpeg may still
    // exit with 0: the file it wrote is cut off.
    if (line.contains("Error writing trailer") || line.contains("Error closing file"))
        unfinishedOutput = true;
    if (isProgressLine(line)) {
        time = parseClock(valueAfter(line, "time=", ' '));
        return;
    }
    // FFmpeg's banner: its version, then its compiler, configuration and
    // library versions, indented. Some twenty lines on every run that say
    // nothing about this one, and would crowd out the lines that do.
    if (line.startsWith("ffmpeg version")) {
        inBanner = true;
        return;
    }
    if (inBanner && (line.front() == ' ' || line.front() == '\t'))
        return;
    inBanner = false;
    if (line.startsWith("Input #"))
        inputOpened = true;
    // Before the input is open, such a line says it could not be opened, and
    // the encoder fails anyway.
    if (inputOpened && readError.isEmpty() && !inputPrefix.isEmpty() &&
        line.startsWith(inputPrefix) &&
        isReadError(QByteArrayView(line).sliced(inputPrefix.size()).trimmed()))
        readError = QString::fromUtf8(line.sliced(inputPrefix.size()).trimmed());
    if (!durationSeen && line.trimmed().startsWith("Duration:")) {
        durationSeen = true;
        duration = parseClock(valueAfter(line, "Duration:", ','));
    }
    // Blank to a reader too, such as a line of a no-break space alone.
    const QString text = withoutTrailingSpace(QString::fromUtf8(line));
    if (text.isEmpty())
        return;
    lines.append(text);
    if (lines.size() > keptLines)
        lines.removeFirst();
}

std::optional<double> EncoderOutput::durationSeconds() const
{
    return duration;
}

std::optional<double> EncoderOutput::fraction() const
{
    if (!duration || !time || *duration <= 0)
        return std::nullopt;
    return std::clamp(*time / *duration, 0.0, 1.0);
}

QStringList EncoderOutput::lastLines() const
{
    return lines;
}

QString EncoderOutput::errorReason(const QStringList &pathsToStrip) const
{
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (isRoutine(*line))
            continue;
        QString reason = *line;
        // "[mp4 @ 0x55d0c1e2a3c0] ": which part of FFmpeg spoke, and where in memory.
        if (reason.startsWith(QLatin1Char('['))) {
            const qsizetype close = reason.indexOf(QLatin1String("] "));
            if (close > 0 && reason.left(close).contains(QLatin1String(" @ 0x")))
                reason.remove(0, close + 2);
        }
        for (const QString &path : pathsToStrip) {
            if (path.isEmpty())
                continue;
            if (reason.startsWith(path + QLatin1String(": "))) {
                reason.remove(0, path.size() + 2);
                break;
            }
            // "Error closing file /x/y.mp4: No space left on device"
            const qsizetype at = reason.indexOf(QLatin1Char(' ') + path + QLatin1String(": "));
            if (at >= 0) {
                reason.remove(at, path.size() + 1);
                break;
            }
        }
        reason = reason.trimmed();
        if (!reason.isEmpty())
            return shortened(reason, maxReasonLength);
    }
    return QString();
}
