#pragma once

#include <QByteArray>
#include <QString>

#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// Disks of a known size for fault tests, as root on Linux.

// A tmpfs over a folder for the life of this object: a disk of a known size
// that the test can fill, or make read-only.
class ScratchMount
{
public:
    ScratchMount(const QString &where, const QByteArray &options) : path(where.toUtf8())
    {
        if (::mount("tessel-test", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.constData()) == 0)
            mounted = true;
        else
            problem = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~ScratchMount()
    {
        // A lazy unmount still detaches it when something holds it open.
        if (mounted && ::umount2(path.constData(), 0) != 0)
            ::umount2(path.constData(), MNT_DETACH);
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool isMounted() const { return mounted; }
    QString error() const { return problem; }

    bool makeReadOnly() const
    {
        return ::mount(nullptr, path.constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
    }

    qint64 bytesAvailable() const
    {
        struct statvfs info;
        if (::statvfs(path.constData(), &info) != 0)
            return -1;
        return qint64(info.f_bavail) * qint64(info.f_frsize);
    }

private:
    QByteArray path;
    bool mounted = false;
    QString problem;
};

// As root, the mounts these tests make live in a mount namespace of this
// process alone: no one else sees them, and they go with the process even if
// it dies before its cleanup. Must run before any thread starts.
inline bool enterPrivateMounts()
{
    return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
