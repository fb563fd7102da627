// The waveIn functions over the backend list.  Devices are numbered real
// inputs first, then the test signals.  Buffers are filled in the order they
// were added; audio that arrives while none is queued is dropped.
#include "capture/WaveIn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

#include "capture/AudioServer.h"
#include "capture/InputBackend.h"
#include "capture/PulseInput.h"
#include "capture/TestSignal.h"
#include "engine/RunSizes.h"

namespace {

constexpr std::uint32_t kMinHeaderSize = 32;        // the header size callers pass

// A device that delivers nothing for this long while a buffer waits is
// taken as lost: three buffer lengths, and never less than this, so a
// busy machine's scheduling gaps are not mistaken for a loss.
constexpr int kMinSilenceMs = 1000;
// Before its first data a stream gets this long instead: a new PulseAudio
// record stream takes 1 to 2 s to deliver anything.
constexpr int kFirstDataMs = 10000;
// A watchdog that fires this much later than set means this process did not
// run meanwhile (stopped, the machine suspended): the device gets one fresh
// period to deliver what piled up, rather than being taken for lost.  Only
// one: an event loop held up again and again (a hung audio server's calls)
// must not put the loss off for ever.
constexpr int kLateMs = 500;

struct Session {
    std::shared_ptr<InputBackend> backend;
    std::unique_ptr<InputStream> stream;
    std::uint16_t blockAlign = 4;
    std::uint32_t bytesPerSecond = 0;
    bool started = false;
    bool lost = false;
    bool flowing = false; // some audio has arrived since the open
    std::uint32_t gaps = 0; // samples dropped by the device, times
    std::deque<WAVEHDR*> queue;
    QTimer watchdog; // runs while a buffer waits; restarted by every delivery
    QElapsedTimer armed; // since the watchdog was set
    bool graced = false; // a late watchdog gave a fresh period since the last delivery
};

struct Layer {
    BackendList devices;
    bool enumerated = false;
    bool forTest = false;
    int serverWaitMs = 5000;    // how long an enumeration waits for the audio server
    bool serverSilent = false;  // the last enumeration got no reply from it
    bool serverMissing = false; // the last enumeration reached no server (absent or silent)
    std::map<HWAVEIN, std::unique_ptr<Session>> sessions;
    HWAVEIN nextHandle = 1; // never reused, so a closed handle stays unknown
    QObject* waker = nullptr;
};

// Never destroyed: an open device must not be torn down after the
// application object has gone at exit.
Layer& L()
{
    static Layer* layer = new Layer;
    return *layer;
}

const BackendList& Devices()
{
    Layer& l = L();
    if (!l.enumerated) {
        l.devices = DefaultBackends();
        l.enumerated = true;
    }
    return l.devices;
}

Session* Find(HWAVEIN h)
{
    const auto it = L().sessions.find(h);
    return it == L().sessions.end() ? nullptr : it->second.get();
}

// Wakes an event loop that waits for a buffer (processEvents with
// WaitForMoreEvents returns once this event has been delivered).
void Wake()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    Layer& l = L();
    if (l.waker == nullptr) {
        l.waker = new QObject;
        l.waker->moveToThread(app->thread());
    }
    QCoreApplication::postEvent(l.waker, new QEvent(QEvent::User));
}

std::size_t FramesWanted(const Session& s)
{
    std::size_t bytes = 0;
    for (const WAVEHDR* h : s.queue)
        bytes += h->dwBufferLength - h->dwBytesRecorded;
    return (bytes + s.blockAlign - 1) / s.blockAlign;
}

void MarkDone(WAVEHDR* h)
{
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

// (Re)starts the silence watchdog while a buffer waits, stops it otherwise.
void Watch(Session& s)
{
    if (!s.started || s.lost || s.queue.empty() || s.bytesPerSecond == 0) {
        s.watchdog.stop();
        return;
    }
    const double ms = 3000.0 * s.queue.front()->dwBufferLength / s.bytesPerSecond;
    const int floor = s.flowing ? kMinSilenceMs : kFirstDataMs;
    s.watchdog.start(std::max(floor, static_cast<int>(std::min(ms, 3.6e6))));
    s.armed.start();
}

// Hands every queued buffer back marked done, with what it holds so far.
void ReturnAll(Session& s)
{
    const bool any = !s.queue.empty();
    for (WAVEHDR* h : s.queue)
        MarkDone(h);
    s.queue.clear();
    if (any)
        Wake();
}

void Deliver(HWAVEIN h, const char* bytes, std::size_t count)
{
    Session* s = Find(h);
    if (s == nullptr || count == 0)
        return;
    s->graced = false;
    if (!s->flowing) {
        s->flowing = true;
        Watch(*s); // from now on silence is a loss after the usual time
    }
    if (!s->started)
        return;
    bool completed = false;
    while (count > 0 && !s->queue.empty()) {
        WAVEHDR* hdr = s->queue.front();
        const std::size_t take = std::min<std::size_t>(hdr->dwBufferLength - hdr->dwBytesRecorded, count);
        std::memcpy(hdr->lpData + hdr->dwBytesRecorded, bytes, take);
        hdr->dwBytesRecorded += static_cast<std::uint32_t>(take);
        bytes += take;
        count -= take;
        if (hdr->dwBytesRecorded == hdr->dwBufferLength) {
            s->queue.pop_front();
            MarkDone(hdr);
            completed = true;
        }
    }
    // Whatever is left over has no buffer and is dropped.
    Watch(*s);
    if (completed) {
        s->stream->Want(FramesWanted(*s));
        Wake();
    }
}

// The device dropped samples: the buffer filling now would hold the gap,
// so it starts again with what comes after it.
void MarkGap(HWAVEIN h)
{
    Session* s = Find(h);
    if (s == nullptr)
        return;
    ++s->gaps;
    if (!s->queue.empty())
        s->queue.front()->dwBytesRecorded = 0;
}

// The device has gone: nothing more will arrive.  Queued buffers come back
// done (the wait sees the loss before it uses them) and the waiter wakes.
void MarkLost(HWAVEIN h)
{
    Session* s = Find(h);
    if (s == nullptr || s->lost)
        return;
    s->lost = true;
    s->started = false;
    s->watchdog.stop();
    ReturnAll(*s);
    Wake();
}

MMRESULT CheckFormat(const WAVEFORMATEX* f)
{
    if (f->wFormatTag != WAVE_FORMAT_PCM || f->wBitsPerSample != 16 || f->nChannels < 1 || f->nChannels > 2 ||
        f->nBlockAlign != f->nChannels * 2 || f->nSamplesPerSec == 0 || f->nSamplesPerSec > static_cast<std::uint32_t>(kMaxRate))
        return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

} // namespace

BackendList DefaultBackends()
{
    BackendList list;
    const ServerState server = AppendPulseInputs(list, L().serverWaitMs);
    L().serverSilent = server == ServerState::Silent;
    L().serverMissing = server != ServerState::Answers;
    AppendTestSignals(list);
    return list;
}

void SetServerWait(int ms) { L().serverWaitMs = ms; }

bool ServerDidNotAnswer() { return L().serverSilent; }

bool ServerDevicesMissing() { return L().serverMissing; }

void SetBackendsForTest(BackendList list)
{
    L().devices = std::move(list);
    L().enumerated = true;
    L().forTest = true;
}

void ResetBackends()
{
    L().devices.clear();
    L().enumerated = false;
    L().forTest = false;
    L().serverSilent = false;
    L().serverMissing = false;
}

std::string TruncateName(const std::string& name, std::size_t maxBytes)
{
    if (name.size() <= maxBytes)
        return name;
    std::size_t end = maxBytes;
    // Back off continuation bytes (10xxxxxx) so no character is split.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

std::string waveInFullName(std::uint32_t deviceId)
{
    const BackendList& d = Devices();
    return deviceId < d.size() ? d[deviceId]->Name() : std::string();
}

std::uint32_t waveInGetNumDevs()
{
    // Each count is a fresh enumeration, as the system's list may have changed.
    if (!L().forTest)
        L().enumerated = false;
    return static_cast<std::uint32_t>(Devices().size());
}

MMRESULT waveInGetDevCapsA(std::uint32_t deviceId, WAVEINCAPSA* caps, std::uint32_t size)
{
    if (caps == nullptr || size < sizeof(WAVEINCAPSA))
        return MMSYSERR_INVALPARAM;
    const BackendList& d = Devices();
    if (deviceId >= d.size())
        return MMSYSERR_BADDEVICEID;
    const InputBackend& b = *d[deviceId];
    WAVEINCAPSA c;
    c.wMid = 0xFFFF; // no manufacturer ID
    c.vDriverVersion = 0x0100;
    const std::string name = TruncateName(b.ShortName(), sizeof c.szPname);
    std::memcpy(c.szPname, name.data(), name.size());
    c.dwFormats = b.Formats();
    c.wChannels = b.Channels();
    *caps = c;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(HWAVEIN* handle, std::uint32_t deviceId, const WAVEFORMATEX* format, std::uintptr_t,
                    std::uintptr_t, std::uint32_t)
{
    if (handle == nullptr)
        return MMSYSERR_INVALPARAM;
    *handle = 0;
    const BackendList& d = Devices();
    std::shared_ptr<InputBackend> backend;
    if (deviceId == WAVE_MAPPER) {
        const auto it = std::find_if(d.begin(), d.end(), [](const auto& b) { return b->IsDefault(); });
        if (it != d.end())
            backend = *it;
    } else if (deviceId < d.size()) {
        backend = d[deviceId];
    }
    return waveInOpenBackend(handle, std::move(backend), format);
}

MMRESULT waveInOpenBackend(HWAVEIN* handle, std::shared_ptr<InputBackend> backend, const WAVEFORMATEX* format)
{
    if (handle == nullptr)
        return MMSYSERR_INVALPARAM;
    *handle = 0;
    if (format == nullptr)
        return MMSYSERR_INVALPARAM;
    if (const MMRESULT r = CheckFormat(format); r != MMSYSERR_NOERROR)
        return r;
    if (backend == nullptr)
        return MMSYSERR_BADDEVICEID;

    Layer& l = L();
    const HWAVEIN h = l.nextHandle;
    MMRESULT why = MMSYSERR_ERROR;
    auto stream = backend->Open(
        *format, [h](const char* bytes, std::size_t count) { Deliver(h, bytes, count); }, &why);
    if (!stream)
        return why;
    ++l.nextHandle;
    auto s = std::make_unique<Session>();
    s->backend = std::move(backend);
    s->stream = std::move(stream);
    s->blockAlign = format->nBlockAlign;
    s->bytesPerSecond = format->nSamplesPerSec * format->nBlockAlign;
    s->stream->Lost = [h] { MarkLost(h); };
    s->stream->Gap = [h] { MarkGap(h); };
    s->watchdog.setSingleShot(true);
    s->watchdog.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
    QObject::connect(&s->watchdog, &QTimer::timeout, [h] {
        Session* s = Find(h);
        if (s != nullptr && !s->graced && s->armed.elapsed() > s->watchdog.interval() + kLateMs) {
            s->graced = true;
            Watch(*s);
        } else {
            MarkLost(h);
        }
    });
    l.sessions.emplace(h, std::move(s));
    *handle = h;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN handle)
{
    Session* s = Find(handle);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (s->lost)
        return MMSYSERR_NODRIVER;
    if (!s->started) {
        s->started = true;
        s->stream->Want(FramesWanted(*s));
        Watch(*s);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, std::uint32_t size)
{
    if (Find(handle) == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < kMinHeaderSize || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, std::uint32_t size)
{
    Session* s = Find(handle);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < kMinHeaderSize || header->lpData == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (s->lost)
        return MMSYSERR_NODRIVER;
    // A buffer queued after a gap starts with audio that arrives from now on.
    if (s->queue.empty())
        s->stream->DiscardPending();
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    s->queue.push_back(header);
    if (s->started)
        s->stream->Want(FramesWanted(*s));
    if (s->queue.size() == 1)
        Watch(*s);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, std::uint32_t size)
{
    if (Find(handle) == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < kMinHeaderSize)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN handle)
{
    Session* s = Find(handle);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    s->started = false;
    s->stream->Want(0);
    ReturnAll(*s);
    Watch(*s);
    return MMSYSERR_NOERROR;
}

std::uint32_t waveInGaps(HWAVEIN handle)
{
    const Session* s = Find(handle);
    return s == nullptr ? 0 : s->gaps;
}

bool waveInIsLost(HWAVEIN handle)
{
    const Session* s = Find(handle);
    return s != nullptr && s->lost;
}

MMRESULT waveInClose(HWAVEIN handle)
{
    const auto it = L().sessions.find(handle);
    if (it == L().sessions.end())
        return MMSYSERR_INVALHANDLE;
    // Take the session out first: destroying a stream may run events.
    std::unique_ptr<Session> s = std::move(it->second);
    L().sessions.erase(it);
    // Buffers still queued come back done rather than left dangling.
    ReturnAll(*s);
    s->watchdog.stop();
    s->stream.reset();
    return MMSYSERR_NOERROR;
}
