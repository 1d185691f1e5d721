#pragma once

// Disks that fill up, for the tests of written files: a file-size limit on
// this process, and a small file system mounted for a while (root only).

#include <QProcess>
#include <QString>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace testsupport {

// Files this process writes end at `bytes` while the guard lives, as on a
// disk that fills up: a write beyond fails with EFBIG.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

// A small file system mounted for the guard's life (root only).
class SmallDisk
{
public:
    SmallDisk(const QString &folder, qint64 kilobytes)
        : m_folder(folder)
    {
        const QString size = QStringLiteral("size=%1k").arg(kilobytes);
        m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", size, "tmpfs", folder}) == 0;
    }
    ~SmallDisk()
    {
        if (!unmount()) // detached now, gone once the last file on it closes
            QProcess::execute("umount", {"-l", m_folder});
    }
    bool mounted() const { return m_mounted; }
    // Fails while a file on the disk is open.
    bool unmount()
    {
        if (m_mounted && QProcess::execute("umount", {m_folder}) == 0)
            m_mounted = false;
        return !m_mounted;
    }

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace testsupport
#endif
