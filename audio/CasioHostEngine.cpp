#include "CasioHostEngine.h"

#include "AsioDrivers.h"
#include "AsioHostCalls.h"
#include "AsioSampleConversion.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

std::atomic<CasioHostEngine*> g_engine {nullptr};

// The driver calls these plain functions on its own thread.
void onBufferSwitch(int32_t half, bool)
{
    if (CasioHostEngine* e = g_engine)
        e->bufferSwitch(half);
}

void onSampleRateChanged(double)
{ }

int32_t onMessage(int32_t selector, int32_t value, void*, double*)
{
    CasioHostEngine* e = g_engine;
    return e ? e->message(selector, value) : 0;
}

void* onBufferSwitchTimeInfo(void*, int32_t half, bool)
{
    onBufferSwitch(half, false);
    return nullptr;
}

// The timer, kept out of the header so that it holds no Qt type but a
// forward declaration; deleted at quit or with the application object.
QPointer<QTimer>& resetTimer()
{
    static QPointer<QTimer> timer;
    return timer;
}

}  // namespace

// ---------------------------------------------------------------- CasioBufferSet

CasioBufferSet::CasioBufferSet(int leftChannel, int rightChannel, int frames, const ASIOCallbacks* callbacks)
    : m_leftChannel(leftChannel), m_rightChannel(rightChannel), m_frames(frames)
{
    m_bufferInfos[0] = {false, leftChannel, {nullptr, nullptr}};
    m_bufferInfos[1] = {false, rightChannel, {nullptr, nullptr}};
    m_createResult = ASIOCreateBuffers(m_bufferInfos, 2, frames, callbacks);
    if (m_createResult != kAsioOk)
        return;
    for (int i = 0; i < 2; ++i) {
        m_channelInfos[i].channel = m_bufferInfos[i].channelNum;
        m_channelInfos[i].isInput = false;
        ASIOGetChannelInfo(&m_channelInfos[i]);
    }
    m_left.assign(size_t(frames), 0);
    m_right.assign(size_t(frames), 0);
}

CasioBufferSet::~CasioBufferSet()
{
    if (m_createResult == kAsioOk)
        ASIODisposeBuffers();
}

void CasioBufferSet::render(Tessaro::CaudioASIOCallback* client, int32_t half)
{
    if (m_createResult != kAsioOk)
        return;
    int rendered = 0;
    // A count outside 0..frames is clamped, so a client's wrong answer can
    // never clear memory outside the staging buffers.
    if (client)
        rendered = std::clamp(client->render(m_left.data(), m_right.data(), m_frames), 0, m_frames);
    std::fill(m_left.begin() + rendered, m_left.end(), int16_t(0));
    std::fill(m_right.begin() + rendered, m_right.end(), int16_t(0));
    if (half != 0 && half != 1)
        return;
    convertToAsioSamples(m_left.data(), m_frames, m_channelInfos[0].type, m_bufferInfos[0].buffers[half]);
    convertToAsioSamples(m_right.data(), m_frames, m_channelInfos[1].type, m_bufferInfos[1].buffers[half]);
}

// ---------------------------------------------------------------- CasioHostEngine

CasioHostEngine& CasioHostEngine::instance()
{
    static CasioHostEngine engine;
    return engine;
}

CasioHostEngine* CasioHostEngine::existing()
{
    return g_engine;
}

CasioHostEngine::CasioHostEngine()
{
    m_drivers = std::make_unique<AsioDrivers>();
    if (AsioDrivers::process() != m_drivers.get())
        qWarning() << "driver host: another driver list serves the host calls";
    m_callbacks = {&onBufferSwitch, &onSampleRateChanged, &onMessage, &onBufferSwitchTimeInfo};
    g_engine = this;
    QCoreApplication* app = QCoreApplication::instance();
    QPointer<QTimer>& timer = resetTimer();
    if (app && !timer) {
        timer = new QTimer(app);
        timer->setInterval(kResetTimerMs);
        QObject::connect(timer, &QTimer::timeout, [this] { onTimer(); });
        QObject::connect(app, &QCoreApplication::aboutToQuit, timer, [this] { shutDown(); });
        timer->start();
    }
}

CasioHostEngine::~CasioHostEngine()
{
    // The timer went at quit or with the application object; what is left
    // is the driver.
    if (m_running)
        stop(m_driverIndex);
    if (m_drivers && m_drivers->currentDriver() >= 0 && !m_running)
        releaseCurrent();
    g_engine = nullptr;
    m_drivers.reset();
    m_bufferSet.reset();
}

void CasioHostEngine::shutDown()
{
    if (m_running)
        stop(m_driverIndex);
    if (m_drivers && m_drivers->currentDriver() >= 0)
        releaseCurrent();
    if (QTimer* timer = resetTimer())
        timer->deleteLater();
    resetTimer() = nullptr;
}

bool CasioHostEngine::isLoaded(int index) const
{
    return index >= 0 && m_loadedIndex == index && m_drivers && m_drivers->currentDriver() == index;
}

void CasioHostEngine::releaseCurrent()
{
    ASIOExit();
    m_loadedIndex = -1;
}

bool CasioHostEngine::loadDriver(int index, double sampleRate)
{
    if (!m_drivers || index < 0 || m_running)
        return false;
    if (!isLoaded(index)) {
        // Whatever the list holds now is no longer the driver initialised.
        m_loadedIndex = -1;
        char name[128];
        if (m_drivers->getDriverName(index, name, sizeof name) != kAsioOk || !m_drivers->loadDriver(name))
            return false;
        if (m_drivers->currentDriver() != index) {
            // The name led to another driver (two of one name): not this one.
            releaseCurrent();
            return false;
        }
        if (ASIOInit(&m_driverInfo) != kAsioOk)
            return false;  // the failed driver is released already
        m_loadedIndex = index;
    }
    int32_t inputs = 0, outputs = 0, minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    if ((sampleRate != 0.0 && ASIOSetSampleRate(sampleRate) != kAsioOk) ||
        ASIOGetChannels(&inputs, &outputs) != kAsioOk ||
        ASIOGetBufferSize(&minimum, &maximum, &preferred, &granularity) != kAsioOk) {
        unloadDriver(index);
        return false;
    }
    return true;
}

bool CasioHostEngine::unloadDriver(int index)
{
    if (!m_drivers || index < 0 || m_drivers->currentDriver() != index || m_running)
        return false;
    releaseCurrent();
    return true;
}

QString CasioHostEngine::driverName(int index) const
{
    char name[128];
    if (!m_drivers || m_drivers->getDriverName(index, name, sizeof name) != kAsioOk)
        return {};
    return QString::fromLocal8Bit(name);
}

bool CasioHostEngine::getChannels(int index, int& inputs, int& outputs) const
{
    int32_t in = 0, out = 0;
    if (!isLoaded(index) || ASIOGetChannels(&in, &out) != kAsioOk)
        return false;
    inputs = in;
    outputs = out;
    return true;
}

bool CasioHostEngine::getBufferSize(int index, int& minimum, int& maximum, int& preferred) const
{
    int32_t mn = 0, mx = 0, pref = 0, granularity = 0;
    if (!isLoaded(index) || ASIOGetBufferSize(&mn, &mx, &pref, &granularity) != kAsioOk)
        return false;
    minimum = mn;
    maximum = mx;
    preferred = pref;
    return true;
}

bool CasioHostEngine::start(int index, int leftChannel, int rightChannel, int frames,
                            Tessaro::CaudioASIOCallback* client)
{
    if (!isLoaded(index) || leftChannel == rightChannel || frames <= 0 || m_running)
        return false;
    m_client = client;
    m_leftChannel = leftChannel;
    m_rightChannel = rightChannel;
    m_driverIndex = index;
    m_running = true;
    m_outputReady = false;
    m_resetRequested = false;
    auto set = std::make_unique<CasioBufferSet>(leftChannel, rightChannel, frames, &m_callbacks);
    m_bufferSet.swap(set);
    set.reset();
    if (m_bufferSet->createResult() == kAsioOk) {
        m_outputReady = ASIOOutputReady() == kAsioOk;
        if (ASIOStart() == kAsioOk)
            return true;
    }
    stop(index);
    return false;
}

bool CasioHostEngine::stop(int index)
{
    if (!m_drivers || index < 0 || m_drivers->currentDriver() != index || !m_running)
        return false;
    // The driver stops first: every half it still switches is rendered by
    // the client and played, so a stream that stops (or restarts after a
    // reset) plays no half of silence in between.
    ASIOStop();
    m_running = false;
    m_outputReady = false;
    m_client = nullptr;
    m_resetRequested = false;
    m_driverIndex = -1;
    m_leftChannel = m_rightChannel = 0;
    auto empty = std::make_unique<CasioBufferSet>();
    m_bufferSet.swap(empty);
    empty.reset();
    return true;
}

void CasioHostEngine::onTimer()
{
    if (!m_resetRequested)
        return;
    const bool wasRunning = m_running;
    Tessaro::CaudioASIOCallback* client = m_client;
    const int index = m_driverIndex;
    const int left = m_leftChannel;
    const int right = m_rightChannel;
    if (wasRunning)
        stop(index);
    m_resetRequested = false;
    if (m_drivers && index >= 0 && m_drivers->currentDriver() == index && !m_running)
        releaseCurrent();
    // A reload that fails leaves the stream stopped; the client is not told
    // a buffer size that was never read.
    if (!loadDriver(index, 0.0) || !wasRunning || !client)
        return;
    int minimum = 0, maximum = 0, preferred = 0;
    if (!getBufferSize(index, minimum, maximum, preferred))
        return;
    client->notify(preferred);
    if (!start(index, left, right, preferred, client))
        qDebug() << "driver host: the stream of" << driverName(index) << "did not restart after a reset";
}

int32_t CasioHostEngine::message(int32_t selector, int32_t value)
{
    switch (selector) {
    case AsioSelectorSupported:
        switch (value) {
        case AsioEngineVersion:
        case AsioResetRequest:
        case AsioResyncRequest:
        case AsioLatenciesChanged:
        case AsioSupportsTimeInfo:
        case AsioSupportsTimeCode:
        case AsioSupportsInputMonitor:
            return 1;
        default:
            return 0;
        }
    case AsioEngineVersion:
        return 2;
    case AsioResetRequest:
        // Acted on by the next timer tick on the GUI thread, never here.
        if (m_client.load())
            m_resetRequested = true;
        return 1;
    case AsioResyncRequest:
    case AsioLatenciesChanged:
    case AsioSupportsTimeInfo:
        return 1;
    default:
        return 0;
    }
}

void CasioHostEngine::bufferSwitch(int32_t half)
{
    if (CasioBufferSet* set = m_bufferSet.get())
        set->render(m_client, half);
    if (m_outputReady)
        ASIOOutputReady();
}

// ---------------------------------------------------------------- CasioDriverSession

CasioDriverSession::CasioDriverSession(int index)
    : m_driverIndex(index), m_loaded(CasioHostEngine::instance().loadDriver(index, 0.0))
{ }

QString CasioDriverSession::driverName() const
{
    return m_loaded ? CasioHostEngine::instance().driverName(m_driverIndex) : QString();
}

int CasioDriverSession::outputChannels() const
{
    int inputs = 0, outputs = 0;
    return m_loaded && CasioHostEngine::instance().getChannels(m_driverIndex, inputs, outputs) ? outputs : 0;
}

int CasioDriverSession::preferredBufferFrames() const
{
    int minimum = 0, maximum = 0, preferred = 0;
    return m_loaded && CasioHostEngine::instance().getBufferSize(m_driverIndex, minimum, maximum, preferred)
               ? preferred
               : 0;
}

bool CasioDriverSession::showControlPanel() const
{
    CasioHostEngine& engine = CasioHostEngine::instance();
    return engine.loadedDriver() == m_driverIndex && !engine.isRunning() && ASIOControlPanel() == kAsioOk;
}
