#include "app/widgets/CPictureEx.h"

#include <QPainter>
#include <chrono>

#include "app/widgets/ResourceImage.h"

namespace {

// Larger logical screens are refused before anything is allocated.
constexpr qint64 kMaxPicturePixels = 8192LL * 8192LL;
constexpr auto kStopWait = std::chrono::milliseconds(5000);

// Reads the GIF's bytes, refusing every read past the end.
class ByteReader {
public:
    explicit ByteReader(const QByteArray& data) : m_data(data) {}

    qsizetype pos() const { return m_pos; }
    bool Byte(quint8& value)
    {
        if (m_pos >= m_data.size())
            return false;
        value = static_cast<quint8>(m_data[m_pos++]);
        return true;
    }
    bool Word(quint16& value)
    {
        quint8 low = 0;
        quint8 high = 0;
        if (!Byte(low) || !Byte(high))
            return false;
        value = static_cast<quint16>(low | high << 8);
        return true;
    }
    bool Bytes(qsizetype count, QByteArray& out)
    {
        if (count < 0 || count > m_data.size() - m_pos)
            return false;
        out = m_data.mid(m_pos, count);
        m_pos += count;
        return true;
    }
    // Data sub-blocks up to and including the zero-length terminator.
    bool SubBlocks(QByteArray* payload)
    {
        for (;;) {
            quint8 size = 0;
            if (!Byte(size))
                return false;
            if (size == 0)
                return true;
            QByteArray block;
            if (!Bytes(size, block))
                return false;
            if (payload)
                payload->append(block);
        }
    }
    QByteArray Slice(qsizetype from) const { return m_data.mid(from, m_pos - from); }

private:
    const QByteArray& m_data;
    qsizetype m_pos = 0;
};

struct GifFrameRecord {
    QRect rect;
    quint8 imagePacked = 0;
    QByteArray localTable;
    QByteArray imageData;  // LZW code size, sub-blocks and terminator
    bool hasControl = false;
    quint8 control[4] = {};  // packed, delay low, delay high, transparent index
};

struct GifFile {
    int width = 0;
    int height = 0;
    quint8 screenPacked = 0;
    quint8 backgroundIndex = 0;
    QByteArray globalTable;
    std::vector<GifFrameRecord> frames;
};

bool IsGif(const QByteArray& data) { return data.startsWith("GIF87a") || data.startsWith("GIF89a"); }

QByteArray ColorTable(ByteReader& reader, quint8 packed, bool& ok)
{
    QByteArray table;
    if (packed & 0x80)
        ok = reader.Bytes(3 << ((packed & 0x07) + 1), table);
    return table;
}

// Walks the blocks up to the trailer; false for anything malformed or cut.
bool ParseGif(const QByteArray& data, GifFile& gif)
{
    ByteReader reader(data);
    QByteArray header;
    quint16 width = 0;
    quint16 height = 0;
    quint8 aspect = 0;
    if (!reader.Bytes(6, header) || !reader.Word(width) || !reader.Word(height) || !reader.Byte(gif.screenPacked) ||
        !reader.Byte(gif.backgroundIndex) || !reader.Byte(aspect))
        return false;
    if (width == 0 || height == 0 || static_cast<qint64>(width) * height > kMaxPicturePixels)
        return false;
    gif.width = width;
    gif.height = height;
    bool ok = true;
    gif.globalTable = ColorTable(reader, gif.screenPacked, ok);
    if (!ok)
        return false;

    GifFrameRecord pending;
    for (;;) {
        quint8 introducer = 0;
        if (!reader.Byte(introducer))
            return false;
        if (introducer == 0x3B)
            return true;
        if (introducer == 0x21) {
            quint8 label = 0;
            QByteArray payload;
            if (!reader.Byte(label) || !reader.SubBlocks(&payload))
                return false;
            if (label == 0xF9) {
                if (payload.size() < 4)
                    return false;
                pending.hasControl = true;
                for (int i = 0; i < 4; ++i)
                    pending.control[i] = static_cast<quint8>(payload[i]);
            }
            continue;
        }
        if (introducer != 0x2C)
            return false;

        quint16 left = 0;
        quint16 top = 0;
        quint16 frameWidth = 0;
        quint16 frameHeight = 0;
        if (!reader.Word(left) || !reader.Word(top) || !reader.Word(frameWidth) || !reader.Word(frameHeight) ||
            !reader.Byte(pending.imagePacked))
            return false;
        if (frameWidth == 0 || frameHeight == 0 ||
            static_cast<qint64>(frameWidth) * frameHeight > kMaxPicturePixels)
            return false;
        pending.rect = QRect(left, top, frameWidth, frameHeight);
        pending.localTable = ColorTable(reader, pending.imagePacked, ok);
        if (!ok)
            return false;
        const qsizetype dataStart = reader.pos();
        quint8 codeSize = 0;
        if (!reader.Byte(codeSize) || codeSize < 1 || codeSize > 11 || !reader.SubBlocks(nullptr))
            return false;
        pending.imageData = reader.Slice(dataStart);
        gif.frames.push_back(std::move(pending));
        pending = GifFrameRecord();
    }
}

void AppendWord(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

// The frame alone as a GIF of its own size, so Qt's reader decodes exactly
// that frame whatever the file's earlier frames left behind.
QByteArray StandaloneFrame(const GifFile& gif, const GifFrameRecord& frame)
{
    QByteArray out("GIF89a");
    AppendWord(out, frame.rect.width());
    AppendWord(out, frame.rect.height());
    out.append(static_cast<char>(gif.screenPacked));
    out.append(static_cast<char>(gif.backgroundIndex));
    out.append('\0');
    out.append(gif.globalTable);
    if (frame.hasControl) {
        out.append("\x21\xF9\x04", 3);
        out.append(reinterpret_cast<const char*>(frame.control), 4);
        out.append('\0');
    }
    out.append('\x2C');
    AppendWord(out, 0);
    AppendWord(out, 0);
    AppendWord(out, frame.rect.width());
    AppendWord(out, frame.rect.height());
    out.append(static_cast<char>(frame.imagePacked));
    out.append(frame.localTable);
    out.append(frame.imageData);
    out.append('\x3B');
    return out;
}

}  // namespace

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent), m_shared(std::make_shared<Shared>()) {}

CPictureEx::~CPictureEx() { Stop(); }

bool CPictureEx::Load(int id, const char* type)
{
    const QByteArray bytes = LoadResourceBytes(type, id);
    return !bytes.isEmpty() && LoadFromMemory(bytes);
}

bool CPictureEx::LoadFromMemory(const QByteArray& bytes)
{
    UnLoad();
    bool loaded = false;
    if (IsGif(bytes)) {
        loaded = LoadGif(bytes);
    } else {
        QImage still = QImage::fromData(bytes);
        if (!still.isNull()) {
            m_frames.push_back(Frame{still, QRect(QPoint(0, 0), still.size()), 0, kDisposeNone});
            m_pictureSize = still.size();
            loaded = true;
        }
    }
    if (!loaded) {
        UnLoad();
        return false;
    }
    PrepareMemory();
    return true;
}

bool CPictureEx::LoadGif(const QByteArray& bytes)
{
    GifFile gif;
    if (!ParseGif(bytes, gif) || gif.frames.empty())
        return false;
    if (gif.frames.size() == 1) {
        const QImage still = QImage::fromData(bytes, "GIF");
        if (still.isNull())
            return false;
        m_frames.push_back(Frame{still, QRect(QPoint(0, 0), still.size()), 0, kDisposeNone});
        m_pictureSize = still.size();
        return true;
    }
    for (const GifFrameRecord& record : gif.frames) {
        Frame frame;
        frame.image = QImage::fromData(StandaloneFrame(gif, record), "GIF");
        if (frame.image.isNull())
            return false;
        frame.rect = QRect(record.rect.topLeft(), frame.image.size());
        if (record.hasControl) {
            frame.delay = record.control[1] | record.control[2] << 8;
            frame.disposal = (record.control[0] >> 2) & 0x07;
        }
        m_frames.push_back(std::move(frame));
    }
    m_pictureSize = QSize(gif.width, gif.height);
    return true;
}

void CPictureEx::PrepareMemory()
{
    resize(m_pictureSize);
    m_background = palette().color(QPalette::Button);
    QImage memory(m_pictureSize, QImage::Format_ARGB32_Premultiplied);
    memory.fill(palette().color(QPalette::Window));
    std::lock_guard guard(m_shared->lock);
    m_shared->memory = memory;
    m_shared->background = m_background;
    m_shared->frames = m_frames;
    m_shared->current = 0;
    updateGeometry();
    update();
}

void CPictureEx::UnLoad()
{
    Stop();
    m_frames.clear();
    m_pictureSize = QSize();
    std::lock_guard guard(m_shared->lock);
    m_shared->memory = QImage();
    m_shared->frames.clear();
    m_shared->current = 0;
}

bool CPictureEx::Draw()
{
    if (m_frames.empty())
        return false;
    if (IsAnimatedGIF()) {
        if (m_thread.joinable())
            return true;
        {
            std::lock_guard guard(m_shared->lock);
            m_shared->stop = false;
            m_shared->finished = false;
            m_shared->repaintTarget = this;
        }
        m_thread = std::thread(&CPictureEx::Animate, m_shared);
        return true;
    }
    {
        std::lock_guard guard(m_shared->lock);
        QPainter painter(&m_shared->memory);
        painter.drawImage(0, 0, m_frames.front().image);
    }
    update();
    return true;
}

void CPictureEx::Stop()
{
    if (!m_thread.joinable())
        return;
    std::unique_lock lock(m_shared->lock);
    m_shared->stop = true;
    m_shared->changed.notify_all();
    // std::thread has no timed join; the thread says when it is done instead.
    const bool finished = m_shared->changed.wait_for(lock, kStopWait, [&] { return m_shared->finished; });
    m_shared->repaintTarget = nullptr;
    lock.unlock();
    if (finished) {
        m_thread.join();
        return;
    }
    // A thread that does not end in time is left to finish on its own, with
    // the shared state it holds; the control carries on with a copy.
    m_thread.detach();
    auto fresh = std::make_shared<Shared>();
    {
        std::lock_guard guard(m_shared->lock);
        fresh->memory = m_shared->memory.copy();
        fresh->frames = m_shared->frames;
        fresh->background = m_shared->background;
        fresh->current = m_shared->current.load();
    }
    m_shared = std::move(fresh);
}

bool CPictureEx::IsAnimating() const
{
    if (!m_thread.joinable())
        return false;
    std::lock_guard guard(m_shared->lock);
    return !m_shared->finished;
}

int CPictureEx::CurrentFrame() const { return m_shared->current.load(); }

int CPictureEx::FrameWaitMs(int delay) { return delay > 4 ? delay * 10 : 100; }

QImage CPictureEx::MemoryImage() const
{
    std::lock_guard guard(m_shared->lock);
    return m_shared->memory.copy();
}

QSize CPictureEx::sizeHint() const { return m_pictureSize.isValid() ? m_pictureSize : QWidget::sizeHint(); }

void CPictureEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    std::lock_guard guard(m_shared->lock);
    if (!m_shared->memory.isNull())
        painter.drawImage(0, 0, m_shared->memory);
}

void CPictureEx::Animate(std::shared_ptr<Shared> shared)
{
    const std::vector<Frame>& frames = shared->frames;
    std::unique_lock lock(shared->lock);
    auto fill = [&](const QRect& area) {
        QPainter painter(&shared->memory);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(area, shared->background);
    };
    if (frames.front().disposal == kDisposeBackground)
        fill(frames.front().rect);

    size_t index = 0;
    while (!shared->stop) {
        const Frame& frame = frames[index];
        QImage saved;
        if (frame.disposal == kDisposePrevious)
            saved = shared->memory.copy(frame.rect);
        {
            QPainter painter(&shared->memory);
            painter.drawImage(frame.rect.topLeft(), frame.image);
        }
        shared->current = static_cast<int>(index);
        if (QObject* target = shared->repaintTarget)
            QMetaObject::invokeMethod(target, [target] { static_cast<QWidget*>(target)->update(); },
                                      Qt::QueuedConnection);

        const auto wait = std::chrono::milliseconds(FrameWaitMs(frame.delay));
        if (shared->changed.wait_for(lock, wait, [&] { return shared->stop; }))
            break;

        if (frame.disposal == kDisposeBackground) {
            fill(frame.rect);
        } else if (frame.disposal == kDisposePrevious) {
            QPainter painter(&shared->memory);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(frame.rect.topLeft(), saved);
        }
        if (++index == frames.size()) {
            fill(shared->memory.rect());
            index = 0;
        }
    }
    shared->finished = true;
    lock.unlock();
    shared->changed.notify_all();
}
