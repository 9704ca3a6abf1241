#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# A folder seen through FUSE as some FUSE and network file systems show it:
# a flush is refused as unsupported (fsync answers EINVAL), the first change
# of each file's times is silently dropped (as exfat-fuse drops a change of
# the modification time alone), and files without a name (O_TMPFILE) cannot
# be made. With --stall FILE, every request but closing a file waits while
# that file exists (at most 20 s), as a share whose server stopped answering
# does once a program has written its file and exited. With --fail-past
# BYTES, reading a file beyond that offset fails with EIO, as a failing card
# does part-way through a clip.
# Runs in the foreground until unmounted.
# Usage: forgetfulfs.py BACKING_FOLDER MOUNT_POINT [--stall FILE] [--fail-past BYTES]
import argparse
import errno
import os
import threading
import time

from fusepy import FUSE, FuseOSError, Operations


class Forgetful(Operations):
    def __init__(self, root, stall=None, fail_past=None):
        self.root = os.path.realpath(root)
        self.stall = stall
        self.fail_past = fail_past
        self.timed = set()
        self.guard = threading.Lock()

    def real(self, path):
        return self.root + path

    def __call__(self, op, *args):
        if self.stall and op not in ('flush', 'release'):
            until = time.monotonic() + 20
            while os.path.exists(self.stall) and time.monotonic() < until:
                time.sleep(0.02)
        try:
            return super().__call__(op, *args)
        except OSError as error:
            raise FuseOSError(error.errno)

    def getattr(self, path, fh=None):
        st = os.lstat(self.real(path))
        names = ('st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size', 'st_atime', 'st_mtime',
                 'st_ctime')
        return {name: getattr(st, name) for name in names}

    def statfs(self, path):
        st = os.statvfs(self.real(path))
        names = ('f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail', 'f_ffree', 'f_files',
                 'f_flag', 'f_frsize', 'f_namemax')
        return {name: getattr(st, name) for name in names}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self.real(path))

    def readlink(self, path):
        return os.readlink(self.real(path))

    def access(self, path, mode):
        if not os.access(self.real(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self.real(path), uid, gid)

    def utimens(self, path, times=None):
        inode = os.lstat(self.real(path)).st_ino
        with self.guard:
            first = inode not in self.timed
            self.timed.add(inode)
        if not first:
            os.utime(self.real(path), times)

    def create(self, path, mode, fi=None):
        return os.open(self.real(path), os.O_RDWR | os.O_CREAT | os.O_EXCL, mode)

    def open(self, path, flags):
        return os.open(self.real(path), flags & ~os.O_CREAT)

    def read(self, path, size, offset, fh):
        if self.fail_past is not None and offset + size > self.fail_past:
            raise FuseOSError(errno.EIO)
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        os.truncate(self.real(path), length)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        raise FuseOSError(errno.EINVAL)

    def release(self, path, fh):
        os.close(fh)

    def mkdir(self, path, mode):
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        os.rmdir(self.real(path))

    def unlink(self, path):
        os.unlink(self.real(path))

    def symlink(self, target, source):
        os.symlink(source, self.real(target))

    def link(self, target, source):
        os.link(self.real(source), self.real(target))

    def rename(self, old, new):
        os.rename(self.real(old), self.real(new))


if __name__ == '__main__':
    options = argparse.ArgumentParser()
    options.add_argument('backing')
    options.add_argument('mount_point')
    options.add_argument('--stall')
    options.add_argument('--fail-past', type=int)
    given = options.parse_args()
    FUSE(Forgetful(given.backing, given.stall, given.fail_past), given.mount_point,
         foreground=True, nothreads=False)
