#pragma once
// Shared pieces of the single-instance tests: command lines, a recorder of
// the file-open events that reach the application object, and the
// hand-over block built by hand from the layout of a Qt data stream.
#include <QCoreApplication>
#include <QEvent>
#include <QFileOpenEvent>
#include <QStringList>

#include <cstring>
#include <vector>

namespace instancetest {

// argc and argv of a start with these arguments (the first is the program).
class Arguments {
public:
    explicit Arguments(const QStringList& args)
    {
        for (const QString& a : args)
            m_bytes.push_back(a.toLocal8Bit());
        for (QByteArray& b : m_bytes)
            m_pointers.push_back(b.data());
        m_pointers.push_back(nullptr);
        argc = int(m_bytes.size());
    }
    char** argv() { return m_pointers.data(); }
    int argc = 0;

private:
    std::vector<QByteArray> m_bytes;
    std::vector<char*> m_pointers;
};

// Names of the file-open events sent to the application object, in order.
class FileOpenRecorder : public QObject {
public:
    FileOpenRecorder() { QCoreApplication::instance()->installEventFilter(this); }
    ~FileOpenRecorder() override { QCoreApplication::instance()->removeEventFilter(this); }
    QStringList files;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == QCoreApplication::instance() && e->type() == QEvent::FileOpen)
            files << static_cast<QFileOpenEvent*>(e)->file();
        return false;
    }
};

inline QByteArray bigEndian32(quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

inline QByteArray native32(qint32 v)
{
    return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
}

// A string list as a Qt data stream holds it: big-endian count, then per
// string its byte length and its UTF-16 code units, big-endian.
inline QByteArray listStream(const QStringList& list)
{
    QByteArray out = bigEndian32(quint32(list.size()));
    for (const QString& s : list) {
        out += bigEndian32(quint32(s.size() * 2));
        for (const QChar c : s) {
            out += char(c.unicode() >> 8);
            out += char(c.unicode() & 0xFF);
        }
    }
    return out;
}

// The hand-over block: native 32-bit byte count, then the stream.
inline QByteArray block(const QByteArray& stream)
{
    return native32(stream.size()) + stream;
}

// The acceptance reply 0x4D795345 as it lies in memory on this
// (little-endian) machine.
inline QByteArray acceptReply()
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the reply bytes below are little-endian");
    return QByteArray("ESyM");
}

}  // namespace instancetest
