// A picture control that shows a still image or plays an animated GIF on a
// thread of its own. Frames are composed into a memory image that the paint
// handler copies, so the animation never paints on the widget directly.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CPictureEx : public QWidget {
    Q_OBJECT
public:
    // GIF disposal methods.
    enum Disposal { kDisposeNone = 0, kDisposeKeep = 1, kDisposeBackground = 2, kDisposePrevious = 3 };

    struct Frame {
        QImage image;
        QRect rect;      // offset and size in the picture
        int delay = 0;   // hundredths of a second
        int disposal = kDisposeNone;
    };

    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // From the resources ("GIF", id).
    bool Load(int id, const char* type);
    // A GIF (87a or 89a) is taken apart into frames; anything else is loaded
    // as one still picture. False, leaving the control empty, for data that
    // cannot be read.
    bool LoadFromMemory(const QByteArray& data);

    // Starts the animation, or shows the still picture.
    bool Draw();
    // Ends the animation thread, waiting up to 5 seconds for it.
    void Stop();
    void UnLoad();

    bool IsAnimatedGIF() const { return m_frames.size() > 1; }
    bool IsAnimating() const;
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    const Frame& GetFrame(int index) const { return m_frames.at(static_cast<size_t>(index)); }
    // The frame the animation shows now.
    int CurrentFrame() const;
    // How long the animation waits on a frame: its delay, or 100 ms for the
    // short delays many encoders write as "as fast as possible".
    static int FrameWaitMs(int delay);
    QSize PictureSize() const { return m_pictureSize; }
    QColor BackgroundColor() const { return m_background; }
    // A copy of what the control shows.
    QImage MemoryImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Shared with the animation thread. The thread holds its own reference,
    // so a thread that outlives the 5-second wait never touches freed state.
    struct Shared {
        mutable std::mutex lock;  // guards everything below but the frames
        std::condition_variable changed;
        QImage memory;
        bool stop = false;
        bool finished = false;
        // Where repaints are requested; cleared before the control goes.
        QObject* repaintTarget = nullptr;
        std::atomic<int> current{0};
        std::vector<Frame> frames;  // fixed while the thread runs
        QColor background;
    };

    bool LoadGif(const QByteArray& data);
    void PrepareMemory();
    static void Animate(std::shared_ptr<Shared> shared);

    std::vector<Frame> m_frames;
    QSize m_pictureSize;
    QColor m_background;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
