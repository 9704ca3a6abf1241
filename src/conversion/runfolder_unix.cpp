// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversion/runfolder.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RunFolder::RunFolder(const QString &path) : absolutePath(QFileInfo(path).absoluteFilePath())
{
    handle =
        ::open(QFile::encodeName(absolutePath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

RunFolder::~RunFolder()
{
    if (handle >= 0)
        ::close(handle);
}

bool RunFolder::stillInPlace() const
{
    struct stat now;
    struct stat held;
    return handle >= 0 && ::stat(QFile::encodeName(absolutePath).constData(), &now) == 0 &&
           ::fstat(handle, &held) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino;
}

ClipIdentity RunFolder::identify(const QString &name) const
{
    struct stat info;
    if (handle < 0 || ::fstatat(handle, QFile::encodeName(name).constData(), &info, 0) != 0)
        return ClipIdentity();
    ClipIdentity identity;
    identity.exists = true;
    identity.device = qint64(info.st_dev);
    identity.inode = qint64(info.st_ino);
    identity.size = qint64(info.st_size);
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return identity;
}

std::unique_ptr<QFile> RunFolder::openForReading(const QString &name) const
{
    if (handle < 0)
        return nullptr;
    const int fd = ::openat(handle, QFile::encodeName(name).constData(),
                            O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat info;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    // Reads of the file then wait for the disk as usual, also on a file
    // system that would take O_NONBLOCK at its word.
    const int flags = regular ? ::fcntl(fd, F_GETFL) : -1;
    auto file = std::make_unique<QFile>();
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}
