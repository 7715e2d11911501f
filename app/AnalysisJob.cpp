#include "AnalysisJob.h"

#include "IF_audioFileMngr.h"
#include "KRMprotoSettings.h"
#include "ResultCode.h"
#include "TempFolder.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

// ---------------------------------------------------------------- worker

anaThreadObj::anaThreadObj()
{
    m_files = createAudioFileMngr();
    // Direct: the segmenter reports on the analysis thread, and the relay
    // must read the progress window of the step that is running.
    if (QObject* seg = m_core.segmenterObject())
        connect(seg, SIGNAL(signalProgress(const unsigned char)), this, SLOT(thruProgress(unsigned char)),
                Qt::DirectConnection);
}

anaThreadObj::~anaThreadObj()
{
    delete m_files;
}

void anaThreadObj::stop()
{
    m_stop.store(1);
    m_core.stopSegmenter();
}

QString anaThreadObj::errorText() const
{
    return m_core.errorText();
}

bool anaThreadObj::hasError()
{
    return m_core.hasError();
}

void anaThreadObj::progress(uint8_t percent)
{
    emit signalProgress(fileCount, fileIndex, percent);
}

void anaThreadObj::segmenterSpan(uint8_t low, uint8_t high)
{
    progressLow = low;
    progressHigh = high;
}

void anaThreadObj::failText(const QString& text)
{
    if (m_core.errorText().isEmpty())
        m_core.setErrorText(text);
}

void anaThreadObj::thruProgress(unsigned char val)
{
    const unsigned span = unsigned(progressHigh) - unsigned(progressLow);
    progress(uint8_t(progressLow + (span * val) / 100));
}

uint32_t anaThreadObj::analyzeProcTh(const QStringList& folders, const QStringList& files)
{
    m_core.clearError();
    progressLow = 0;
    progressHigh = 100;
    QStringList folderFiles;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({"*.wav", "*.aif", "*.aiff"}))
            folderFiles << dir.absolutePath() + "/" + name;
    }
    fileCount = uint8_t(files.size() + folderFiles.size());
    fileIndex = 0;
    for (const QString& path : files + folderFiles) {
        if (path.isEmpty()) {
            failText("#0055 error at anaThreadObj <empty file>");
            emit signalErr();
            return krm::fail(1);
        }
        ++fileIndex;
        if (const uint32_t r = analyzeFileTh(path.toStdWString())) {
            failText("#0056 error at analyzeProcTh()");
            emit signalErr();
            return krm::nest(r, 2);
        }
    }
    qDebug() << "analyze finished";
    emit signalAnalyzed();
    return 0;
}

uint32_t anaThreadObj::analyzeFileTh(const std::wstring& path)
{
    const QString audio = QString::fromStdWString(path);
    ImportPaths paths;
    paths.audio = audio;
    paths.work = krm::platform::privateTempFolder() + "/KRM_temp.wav";
    paths.waveInfo = waveInfoPathOf(audio);
    paths.cachedWaveInfo = cachedWaveInfoPathOf(audio);
    ImportDetails details;
    const uint32_t r = pipeline().run(paths, &details);
    if (details.completed)
        KRMprotoSettings::setAudioFilePath(QFileInfo(audio).path());
    return r;
}

// ---------------------------------------------------------------- thread

anaThread::anaThread() : QThread(nullptr)
{
    try {
        m_worker = new anaThreadObj;
    } catch (...) {
        m_worker = nullptr;
    }
    // The segmenter reports from the analysis thread; living there, its
    // own relay is direct too.
    if (m_worker) {
        if (QObject* seg = m_worker->engine().segmenterObject())
            seg->moveToThread(this);
    }
}

anaThread::~anaThread()
{
    delete m_worker;
}

void anaThread::setInputLists(const QStringList& folders, const QStringList& files)
{
    m_folders = folders;
    m_files = files;
}

void anaThread::setStop(uint8_t value)
{
    const QMutexLocker lock(&m_stopLock);
    m_stop.store(value);
    m_stopped.wakeAll();
}

void anaThread::requestStop()
{
    setStop(1);
    if (m_worker)
        m_worker->stop();
}

QString anaThread::errorString()
{
    return m_worker ? m_worker->errorText() : QString("object creation error!");
}

bool anaThread::workerHasError()
{
    return m_worker ? m_worker->hasError() : false;
}

void anaThread::run()
{
    if (m_stop.load()) {
        setStop(0);
        return;
    }
    if (m_worker) {
        m_worker->setOptions(m_options);
        if (m_worker->analyzeProcTh(m_folders, m_files) != 0) {
            setStop(1);
            m_worker->stop();
            return;
        }
    }
    // The window answers signalAnalyzed with its stop request.
    const QMutexLocker lock(&m_stopLock);
    while (!m_stop.load())
        m_stopped.wait(&m_stopLock);
    m_stop.store(0);
}
