#include "CPictureEx.h"

#include "GifReader.h"
#include "Resources.h"
#include "UniqueFd.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

// Stop waits this long for the animation thread, then returns anyway.
constexpr std::chrono::milliseconds StopWait{5000};
// A surface or a frame larger than this is refused: a GIF may announce a logical screen of
// 65535 x 65535, which nothing here should try to allocate.
constexpr qint64 MaxSurfacePixels = qint64{4096} * 4096;
// Decoded frames together stay below this; frames beyond it are dropped like damaged ones.
constexpr qint64 MaxDecodedBytes = qint64{256} * 1024 * 1024;

QRect FrameRect(const GifFrame& frame)
{
    return {frame.left, frame.top, frame.width, frame.height};
}

// The frame's own pixels out of a decoded single-image GIF. The decoder lays the frame on a
// canvas of the logical screen size; the frame is drawn at its own rectangle later.
QImage FramePicture(const QImage& decoded, const GifFrameSpan& span)
{
    const QRect area(static_cast<int>(span.left), static_cast<int>(span.top), static_cast<int>(span.width),
                     static_cast<int>(span.height));
    QImage picture = decoded;
    if (decoded.size() != area.size() && decoded.rect().contains(area)) {
        picture = decoded.copy(area);
    }
    return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// Everything the animation thread touches, kept alive by the thread itself so that a thread
// that outlives Stop's wait never reaches a destroyed control.
struct CPictureEx::Shared
{
    // The repaint doorbell: other threads write to it, the control's notifier on the UI
    // thread reads it and repaints. Nothing of Qt crosses threads, and the thread never
    // needs the control itself, which may be gone when a late run writes.
    qvd::UniqueFd doorbell{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};

    // Serialises Play and Stop, which the search routine calls from its own thread and the
    // control's owner from the UI thread; guards m_run. Taken before mutex, never after.
    std::mutex control;

    mutable std::mutex mutex; // guards every field below
    std::condition_variable wake;
    QImage surface;
    QImage saved; // what lay under a frame of disposal 3, until it is restored
    QImage still;
    std::vector<GifFrame> frames;
    QColor background = Qt::white;
    int width = 0;
    int height = 0;
    int current = 0;
    bool isGif = false;
    bool playing = false;
    bool ready = false;

    // Asks the UI thread to repaint the control; any thread.
    void RequestRepaint() const
    {
        if (!doorbell.valid()) {
            return;
        }
        const std::uint64_t one = 1;
        // A full counter (EAGAIN) already means a repaint is pending.
        while (::write(doorbell.get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    void Fill(const QRect& rect, const QColor& color)
    {
        if (!surface.isNull()) {
            QPainter painter(&surface);
            painter.fillRect(rect, color);
        }
    }
    void Dispose(const GifFrame& frame)
    {
        if (frame.disposal == 2) {
            Fill(FrameRect(frame), background);
        } else if (frame.disposal == 3 && !saved.isNull()) {
            QPainter painter(&surface);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPoint(frame.left, frame.top), saved);
            saved = QImage();
        }
    }
};

// One run of the animation thread. Each run has its own exit flag, which is never cleared,
// so a run that Stop gave up on still ends when it next looks.
struct CPictureEx::Run
{
    std::thread thread;         // touched only by the controlling side (Play, Stop)
    bool exitRequested = false; // Shared::mutex
    bool finished = false;      // Shared::mutex
};

CPictureEx::CPictureEx(QWidget* parent)
    : QWidget(parent)
    , m_shared(std::make_shared<Shared>())
{
    setAccessibleName(QStringLiteral("Searching"));
    if (m_shared->doorbell.valid()) {
        m_repaintNotifier = new QSocketNotifier(m_shared->doorbell.get(), QSocketNotifier::Read, this);
        connect(m_repaintNotifier, &QSocketNotifier::activated, this, &CPictureEx::OnRepaintRequested);
    }
}

CPictureEx::~CPictureEx()
{
    Unload();
    // Stop watching the doorbell before the shared state (and with it the descriptor) goes.
    delete m_repaintNotifier;
    m_repaintNotifier = nullptr;
}

void CPictureEx::OnRepaintRequested()
{
    std::uint64_t count = 0;
    while (::read(m_shared->doorbell.get(), &count, sizeof count) < 0 && errno == EINTR) {
    }
    update();
}

bool CPictureEx::LoadFromResource(int id, const char* type)
{
    int ratio = qvres::PictureRatio(devicePixelRatioF());
    QByteArray bytes = qvres::RawResource(type, id, ratio);
    if (bytes.isEmpty() && ratio != 1) {
        ratio = 1;
        bytes = qvres::RawResource(type, id);
    }
    if (bytes.isEmpty()) {
        return false;
    }
    return Load(bytes.constData(), static_cast<std::size_t>(bytes.size()), ratio);
}

bool CPictureEx::LoadFromMemory(const QByteArray& bytes)
{
    return LoadFromMemory(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool CPictureEx::LoadFromMemory(const void* block, std::size_t size)
{
    return Load(block, size, 1);
}

bool CPictureEx::Load(const void* block, std::size_t size, int pixelRatio)
{
    Unload();
    m_pixelRatio = pixelRatio;
    if (block == nullptr || size == 0) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(block);
    if (GifReader::IsGif(bytes, size)) {
        return LoadGif(bytes, size);
    }
    return LoadStill(QByteArray(static_cast<const char*>(block), static_cast<qsizetype>(size)));
}

bool CPictureEx::LoadStill(const QByteArray& bytes)
{
    const QImage picture = QImage::fromData(bytes);
    if (picture.isNull()) {
        return false;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->still = picture;
        m_shared->width = picture.width();
        m_shared->height = picture.height();
    }
    if (!PrepareSurface(picture.width(), picture.height())) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->still = QImage();
        return false;
    }
    return true;
}

bool CPictureEx::LoadGif(const unsigned char* gif, std::size_t size)
{
    const GifReader reader(gif, size);
    const int width = static_cast<int>(reader.ScreenWidth());
    const int height = static_cast<int>(reader.ScreenHeight());
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->width = width;
        m_shared->height = height;
    }
    const std::size_t count = reader.CountFrames();
    if (count == 0) {
        return false;
    }
    QImage still;
    std::vector<GifFrame> frames;
    if (count == 1) {
        still = QImage::fromData(
            QByteArray::fromRawData(reinterpret_cast<const char*>(gif), static_cast<qsizetype>(size)), "GIF");
        if (still.isNull()) {
            return false;
        }
    } else {
        qint64 decodedBytes = 0;
        std::size_t offset = reader.FirstBlock();
        GifFrameSpan span;
        while (reader.NextFrame(offset, span)) {
            const std::vector<unsigned char> frameGif = reader.FrameGif(span);
            if (qint64{span.width} * span.height > MaxSurfacePixels) {
                continue;
            }
            const QImage decoded =
                QImage::fromData(QByteArray::fromRawData(reinterpret_cast<const char*>(frameGif.data()),
                                                         static_cast<qsizetype>(frameGif.size())),
                                 "GIF");
            if (decoded.isNull()) {
                continue; // the loader rejected this frame; try the next
            }
            GifFrame frame;
            frame.picture = FramePicture(decoded, span);
            decodedBytes += frame.picture.sizeInBytes();
            if (decodedBytes > MaxDecodedBytes) {
                break;
            }
            frame.left = static_cast<int>(span.left);
            frame.top = static_cast<int>(span.top);
            frame.width = static_cast<int>(span.width);
            frame.height = static_cast<int>(span.height);
            frame.delay = span.delay;
            frame.disposal = span.disposal;
            frames.push_back(std::move(frame));
        }
        if (frames.empty()) {
            return false;
        }
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->still = still;
        m_shared->frames = std::move(frames);
        m_shared->isGif = true;
    }
    if (!PrepareSurface(width, height)) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->still = QImage();
        m_shared->frames.clear();
        m_shared->isGif = false;
        return false;
    }
    return true;
}

bool CPictureEx::PrepareSurface(int width, int height)
{
    if (width <= 0 || height <= 0 || qint64{width} * height > MaxSurfacePixels) {
        return false;
    }
    QImage surface(width, height, QImage::Format_RGB32);
    if (surface.isNull()) {
        return false;
    }
    surface.fill(palette().color(QPalette::Active, QPalette::Window));
    resize((width + m_pixelRatio - 1) / m_pixelRatio, (height + m_pixelRatio - 1) / m_pixelRatio);
    std::lock_guard lock(m_shared->mutex);
    m_shared->surface = std::move(surface);
    m_shared->saved = QImage();
    m_shared->background = palette().color(QPalette::Active, QPalette::Button);
    m_shared->ready = true;
    m_shared->RequestRepaint();
    return true;
}

bool CPictureEx::Play()
{
    Shared& shared = *m_shared;
    const std::lock_guard control(shared.control);
    std::unique_lock lock(shared.mutex);
    if (!shared.ready) {
        return false;
    }
    if (!shared.frames.empty()) {
        if (m_run) {
            return false; // already running: a second thread would draw over the first
        }
        lock.unlock();
        auto run = std::make_shared<Run>();
        run->thread = std::thread(&CPictureEx::AnimationThread, m_shared, run);
        m_run = std::move(run);
        return false;
    }
    if (shared.still.isNull() || shared.surface.isNull()) {
        return false;
    }
    {
        QPainter painter(&shared.surface);
        painter.drawImage(QRect(0, 0, shared.width, shared.height), shared.still);
    }
    shared.RequestRepaint();
    return true;
}

void CPictureEx::Stop()
{
    Shared& shared = *m_shared;
    const std::lock_guard control(shared.control);
    std::shared_ptr<Run> run = std::move(m_run);
    std::unique_lock lock(shared.mutex);
    shared.playing = false;
    if (!run) {
        return;
    }
    run->exitRequested = true;
    shared.wake.notify_all();
    const bool ended = shared.wake.wait_for(lock, StopWait, [&run] { return run->finished; });
    lock.unlock();
    if (ended) {
        run->thread.join();
    } else {
        // It keeps the shared state alive and ends at its next look at its exit flag.
        run->thread.detach();
    }
}

void CPictureEx::Unload()
{
    Stop();
    std::lock_guard lock(m_shared->mutex);
    m_shared->still = QImage();
    m_shared->frames.clear();
    m_shared->surface = QImage();
    m_shared->saved = QImage();
    m_shared->ready = false;
    m_shared->isGif = false;
    m_shared->current = 0;
    m_shared->background = Qt::white;
    m_pixelRatio = 1;
}

void CPictureEx::AnimationThread(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Run>& run)
{
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    s.playing = true;
    const int count = static_cast<int>(s.frames.size());
    if (count == 0 || s.current >= count) {
        s.current = 0;
    }
    // Finish what the previous run left: the frame it stopped on was drawn but not disposed.
    if (count > 0) {
        s.Dispose(s.frames[static_cast<std::size_t>(s.current)]);
    }
    while (count > 0) {
        const GifFrame& frame = s.frames[static_cast<std::size_t>(s.current)];
        const QRect area = FrameRect(frame);
        if (frame.disposal == 3) {
            s.saved = s.surface.copy(area);
        }
        if (!frame.picture.isNull() && !area.isEmpty()) {
            QPainter painter(&s.surface);
            painter.drawImage(area, frame.picture);
            painter.end();
            s.RequestRepaint();
        }
        if (run->exitRequested) {
            break;
        }
        s.wake.wait_for(lock, std::chrono::milliseconds(FrameWaitMs(frame.delay)),
                        [&run] { return run->exitRequested; });
        if (run->exitRequested) {
            break;
        }
        s.Dispose(frame);
        ++s.current;
        if (s.current >= count) {
            s.current = 0;
            s.Fill(QRect(0, 0, s.width, s.height), s.background);
        }
    }
    s.playing = false;
    run->finished = true;
    s.wake.notify_all();
}

void CPictureEx::FillSurface(const QRect& rect, const QColor& color)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->Fill(rect, color);
    m_shared->RequestRepaint();
}

void CPictureEx::SetBackgroundColor(const QColor& color)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->background = color;
}

QColor CPictureEx::BackgroundColor() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->background;
}

bool CPictureEx::IsReady() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->ready;
}

bool CPictureEx::IsGif() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->isGif;
}

bool CPictureEx::IsPlaying() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->playing;
}

int CPictureEx::PictureWidth() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->width;
}

int CPictureEx::PictureHeight() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->height;
}

QImage CPictureEx::SurfaceImage() const
{
    std::lock_guard lock(m_shared->mutex);
    // A deep copy: the thread keeps drawing into the original.
    return m_shared->surface.copy();
}

int CPictureEx::FrameCount() const
{
    std::lock_guard lock(m_shared->mutex);
    return static_cast<int>(m_shared->frames.size());
}

int CPictureEx::CurrentFrame() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->current;
}

std::vector<GifFrame> CPictureEx::Frames() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->frames;
}

std::vector<unsigned> CPictureEx::FrameDelaysMs() const
{
    std::lock_guard lock(m_shared->mutex);
    std::vector<unsigned> delays;
    delays.reserve(m_shared->frames.size());
    for (const GifFrame& frame : m_shared->frames) {
        delays.push_back(FrameWaitMs(frame.delay));
    }
    return delays;
}

QSize CPictureEx::sizeHint() const
{
    const QSize pixels = PictureSize();
    return {(pixels.width() + m_pixelRatio - 1) / m_pixelRatio, (pixels.height() + m_pixelRatio - 1) / m_pixelRatio};
}

void CPictureEx::paintEvent(QPaintEvent* /*event*/)
{
    std::lock_guard lock(m_shared->mutex);
    if (!m_shared->ready || m_shared->surface.isNull()) {
        return;
    }
    QPainter painter(this);
    const QRectF pixels(0, 0, m_shared->width, m_shared->height);
    painter.drawImage(QRectF(pixels.topLeft(), pixels.size() / m_pixelRatio), m_shared->surface, pixels);
}
