// A picture control that shows a still picture or plays an animated GIF.
//
// A multi-frame GIF is split into one single-image GIF per frame (GifReader), each decoded
// once at load time; a thread of the control's own renders frame after frame into a memory
// surface, honouring each frame's delay, position and disposal. Painting only copies that
// surface.
//
// Thread-safety: LoadFromResource, LoadFromMemory, PrepareSurface and Unload are UI-thread
// calls (they resize the widget). Play, Stop, FillSurface, SetBackgroundColor and the read
// accessors may be called from any thread; Play and Stop are serialised against each other,
// but nothing may run concurrently with a load, Unload or the destructor. The animation
// thread and the painter share the surface, the saved area, the current frame and the flags
// under one mutex; the thread asks for repaints through an eventfd that the control watches,
// never touches a Qt object of the UI thread and never blocks on the UI thread, so Stop can
// always wait for it.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

class QSocketNotifier;
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One frame of an animation.
struct GifFrame
{
    QImage picture; // the frame's own pixels, width x height
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
    std::uint32_t delay = 0; // hundredths of a second
    int disposal = 0;        // 0 to 7; 0 when the frame has no graphic control extension
};

class CPictureEx : public QWidget
{
    Q_OBJECT

public:
    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Loads a typed resource of the program, e.g. (540, "GIF"), in the version made for the
    // control's pixel density (see PixelRatio). False when it is missing or cannot be loaded.
    bool LoadFromResource(int id, const char* type);
    // Unload, then parse and decode, then PrepareSurface. The bytes are only read.
    bool LoadFromMemory(const void* data, std::size_t size);
    bool LoadFromMemory(const QByteArray& data);
    // Makes a surface of width x height picture pixels, cleared with the menu colour, and
    // resizes the control to it without moving it (the picture's pixels shrunk by PixelRatio);
    // the background colour becomes the button-face colour.
    bool PrepareSurface(int width, int height);

    // Still picture: renders it once and returns true when it rendered. Several frames:
    // starts the animation thread and returns false. Not ready: false.
    bool Play();
    // Ends the animation thread (waiting for it at most 5000 ms); the current frame stays, so
    // the next Play draws that frame again first.
    void Stop();
    // Stop, then forget every picture, frame and surface.
    void Unload();

    // Fills a rectangle of the memory surface (picture coordinates) and repaints.
    void FillSurface(const QRect& rect, const QColor& color);
    void SetBackgroundColor(const QColor& color);
    QColor BackgroundColor() const;

    bool IsReady() const;
    bool IsGif() const;
    bool IsPlaying() const;
    // The picture's size in its own pixels (the surface's, and FillSurface's coordinates).
    int PictureWidth() const;
    int PictureHeight() const;
    // Picture pixels per unit of the control: 2 when the picture was made for a screen of
    // twice the density (the control then shows it at half its pixel size, pixel for pixel
    // on such a screen), else 1. UI thread.
    int PixelRatio() const { return m_pixelRatio; }
    QSize PictureSize() const { return {PictureWidth(), PictureHeight()}; }
    // A copy of the memory surface (null when not ready).
    QImage SurfaceImage() const;
    // Decoded frames of an animation (empty for a still picture).
    int FrameCount() const;
    int CurrentFrame() const;
    std::vector<GifFrame> Frames() const;
    // How long the animation shows each frame, in milliseconds.
    std::vector<unsigned> FrameDelaysMs() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Shared;
    struct Run;

    void OnRepaintRequested();
    bool Load(const void* data, std::size_t size, int pixelRatio);
    bool LoadGif(const unsigned char* data, std::size_t size);
    bool LoadStill(const QByteArray& bytes);
    // The thread object holds its own copies of both pointers for as long as this runs.
    static void AnimationThread(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Run>& run);

    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<Run> m_run; // Shared::control
    QSocketNotifier* m_repaintNotifier = nullptr;
    int m_pixelRatio = 1;
};
