#include "TestUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testutil {

TempDir::TempDir()
{
    m_dir.setAutoRemove(true);
}

QString TempDir::path(const QString& name) const
{
    return m_dir.filePath(name);
}

std::wstring TempDir::wpath(const QString& name) const
{
    return path(name).toStdWString();
}

std::vector<uint8_t> readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return std::vector<uint8_t>(b.begin(), b.end());
}

bool writeFile(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

std::vector<std::vector<uint8_t>> damagedCopies(const std::vector<uint8_t>& bytes, unsigned seed, int flips)
{
    std::vector<std::vector<uint8_t>> out;
    // Every truncation for small files, a spread of them for large ones.
    const size_t step = bytes.size() <= 256 ? 1 : bytes.size() / 128;
    for (size_t len = 0; len < bytes.size(); len += step)
        out.emplace_back(bytes.begin(), bytes.begin() + long(len));
    if (bytes.empty())
        return out;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> pos(0, bytes.size() - 1);
    std::uniform_int_distribution<int> bit(0, 7);
    for (int i = 0; i < flips; ++i) {
        std::vector<uint8_t> c = bytes;
        c[pos(rng)] ^= uint8_t(1u << bit(rng));
        if (i % 4 == 0)  // some copies carry several flips
            c[pos(rng)] ^= uint8_t(1u << bit(rng));
        out.push_back(std::move(c));
    }
    return out;
}

void withFileSizeLimit(uint64_t bytes, const std::function<void()>& f)
{
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &small);
    f();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
}

NamedPipe::NamedPipe(const QString& path, int graceMs) : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    m_made = ::mkfifo(name.constData(), 0600) == 0;
    if (!m_made)
        return;
    m_watchdog = std::thread([this, name, graceMs] {
        const auto start = std::chrono::steady_clock::now();
        while (!m_stop && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(graceMs))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (!m_stop) {
            // Succeeds only while a reader waits in its open.
            const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                ++m_released;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

NamedPipe::~NamedPipe()
{
    m_stop = true;
    if (m_watchdog.joinable())
        m_watchdog.join();
    QFile::remove(m_path);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace testutil
