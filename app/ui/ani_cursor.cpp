#include "ani_cursor.hpp"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <cstring>

namespace taurasw {
namespace {

// Little-endian readers that refuse to read past the end.
class Reader {
 public:
  explicit Reader(const QByteArray& data) : data_(data) {}
  bool Has(qsizetype offset, qsizetype count) const {
    return offset >= 0 && count >= 0 && offset <= data_.size() && count <= data_.size() - offset;
  }
  uint32_t U32(qsizetype at) const {
    const auto* p = reinterpret_cast<const uint8_t*>(data_.constData() + at);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  uint16_t U16(qsizetype at) const {
    const auto* p = reinterpret_cast<const uint8_t*>(data_.constData() + at);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  int32_t S32(qsizetype at) const { return static_cast<int32_t>(U32(at)); }
  uint8_t U8(qsizetype at) const { return static_cast<uint8_t>(data_[at]); }
  bool Tag(qsizetype at, const char* tag) const {
    return Has(at, 4) && std::memcmp(data_.constData() + at, tag, 4) == 0;
  }

 private:
  const QByteArray& data_;
};

constexpr int kLargestFrame = 256;

// A BITMAPINFOHEADER image of an icon: the colour bitmap, then the AND mask, both
// bottom-up with rows padded to four bytes; the header's height counts both.
std::optional<QImage> DecodeBitmap(const QByteArray& data, qsizetype at, qsizetype size) {
  Reader in(data);
  if (!in.Has(at, 40) || size < 40) return std::nullopt;
  const uint32_t headerSize = in.U32(at);
  const int32_t width = in.S32(at + 4);
  const int32_t doubledHeight = in.S32(at + 8);
  const uint16_t bits = in.U16(at + 14);
  const uint32_t compression = in.U32(at + 16);
  uint32_t paletteSize = in.U32(at + 32);
  if (headerSize < 40 || compression != 0 || width <= 0 || width > kLargestFrame ||
      doubledHeight <= 0 || doubledHeight > 2 * kLargestFrame || doubledHeight % 2 != 0)
    return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
  const int height = doubledHeight / 2;
  if (bits <= 8 && (paletteSize == 0 || paletteSize > (1u << bits))) paletteSize = 1u << bits;
  if (bits > 8) paletteSize = 0;

  const qsizetype paletteAt = at + headerSize;
  const qsizetype colourStride = ((qsizetype(width) * bits + 31) / 32) * 4;
  const qsizetype maskStride = ((qsizetype(width) + 31) / 32) * 4;
  const qsizetype colourAt = paletteAt + qsizetype(paletteSize) * 4;
  const qsizetype maskAt = colourAt + colourStride * height;
  const qsizetype end = maskAt + maskStride * height;
  if (end - at > size || !in.Has(at, end - at)) return std::nullopt;

  std::vector<QRgb> palette(paletteSize);
  for (uint32_t i = 0; i < paletteSize; ++i) {
    const qsizetype p = paletteAt + qsizetype(i) * 4;
    palette[i] = qRgb(in.U8(p + 2), in.U8(p + 1), in.U8(p));
  }

  QImage image(width, height, QImage::Format_ARGB32);
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    const qsizetype row = colourAt + colourStride * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      QRgb pixel = 0;
      if (bits == 32) {
        const qsizetype p = row + qsizetype(x) * 4;
        pixel = qRgba(in.U8(p + 2), in.U8(p + 1), in.U8(p), in.U8(p + 3));
        anyAlpha = anyAlpha || qAlpha(pixel) != 0;
      } else if (bits == 24) {
        const qsizetype p = row + qsizetype(x) * 3;
        pixel = qRgb(in.U8(p + 2), in.U8(p + 1), in.U8(p));
      } else {
        const int perByte = 8 / bits;
        const uint8_t byte = in.U8(row + x / perByte);
        const int shift = 8 - bits * (x % perByte + 1);
        pixel = palette[static_cast<size_t>((byte >> shift) & ((1 << bits) - 1))];
      }
      image.setPixel(x, y, pixel);
    }
  }
  // Without alpha of its own the AND mask says which pixels are transparent.
  if (!anyAlpha) {
    for (int y = 0; y < height; ++y) {
      const qsizetype row = maskAt + maskStride * (height - 1 - y);
      for (int x = 0; x < width; ++x) {
        const bool transparent = (in.U8(row + x / 8) >> (7 - x % 8)) & 1;
        const QRgb pixel = image.pixel(x, y);
        image.setPixel(x, y, transparent ? qRgba(0, 0, 0, 0) : (pixel | 0xFF000000u));
      }
    }
  }
  return image;
}

}  // namespace

std::optional<CursorFrame> DecodeIconImage(const QByteArray& data) {
  Reader in(data);
  if (!in.Has(0, 6) || in.U16(0) != 0) return std::nullopt;
  const uint16_t type = in.U16(2);
  const uint16_t count = in.U16(4);
  if ((type != 1 && type != 2) || count == 0 || !in.Has(6, 16)) return std::nullopt;
  const uint32_t size = in.U32(6 + 8);
  const uint32_t offset = in.U32(6 + 12);
  if (!in.Has(offset, size)) return std::nullopt;

  CursorFrame frame;
  // Cursors keep the hotspot where icons keep planes and bit count.
  if (type == 2) frame.hotspot = QPoint(in.U16(6 + 4), in.U16(6 + 6));
  const QByteArray image = data.mid(offset, size);
  if (image.startsWith("\x89PNG")) {
    frame.image = QImage::fromData(image, "PNG");
    if (frame.image.isNull()) return std::nullopt;
  } else {
    auto bitmap = DecodeBitmap(data, offset, size);
    if (!bitmap) return std::nullopt;
    frame.image = *bitmap;
  }
  if (!QRect(QPoint(0, 0), frame.image.size()).contains(frame.hotspot)) frame.hotspot = QPoint();
  return frame;
}

std::optional<AnimatedCursorData> ParseAnimatedCursor(const QByteArray& data) {
  Reader in(data);
  if (!in.Tag(0, "RIFF") || !in.Tag(8, "ACON")) return std::nullopt;
  const qsizetype end = std::min<qsizetype>(data.size(), qsizetype(in.U32(4)) + 8);

  AnimatedCursorData cursor;
  uint32_t frameCount = 0;
  uint32_t stepCount = 0;
  int rate = 0;
  bool header = false;
  std::vector<int> rates;

  qsizetype at = 12;
  while (at + 8 <= end) {
    const uint32_t size = in.U32(at + 4);
    const qsizetype body = at + 8;
    if (!in.Has(body, size) || body + qsizetype(size) > end) return std::nullopt;
    if (in.Tag(at, "anih")) {
      if (size < 36) return std::nullopt;
      frameCount = in.U32(body + 4);
      stepCount = in.U32(body + 8);
      rate = static_cast<int>(in.U32(body + 28));
      const uint32_t flags = in.U32(body + 32);
      // Frames stored as raw bitmaps (flag 1 clear) are not icons; not supported.
      if ((flags & 1) == 0 || frameCount == 0 || frameCount > 1024 || stepCount > 4096)
        return std::nullopt;
      header = true;
    } else if (in.Tag(at, "rate") || in.Tag(at, "seq ")) {
      std::vector<int>& into = in.Tag(at, "rate") ? rates : cursor.sequence;
      for (uint32_t i = 0; i + 4 <= size; i += 4)
        into.push_back(static_cast<int>(in.U32(body + i)));
    } else if (in.Tag(at, "LIST") && size >= 4 && in.Tag(body, "fram")) {
      qsizetype item = body + 4;
      const qsizetype listEnd = body + size;
      while (item + 8 <= listEnd) {
        const uint32_t itemSize = in.U32(item + 4);
        if (item + 8 + qsizetype(itemSize) > listEnd) return std::nullopt;
        if (in.Tag(item, "icon")) {
          auto frame = DecodeIconImage(data.mid(item + 8, itemSize));
          if (!frame) return std::nullopt;
          cursor.frames.push_back(*frame);
        }
        item += 8 + qsizetype(itemSize) + (itemSize & 1);
      }
    }
    at = body + qsizetype(size) + (size & 1);
  }

  if (!header || cursor.frames.size() != frameCount) return std::nullopt;
  if (stepCount == 0) stepCount = frameCount;
  if (cursor.sequence.empty())
    for (uint32_t i = 0; i < stepCount; ++i)
      cursor.sequence.push_back(static_cast<int>(i % frameCount));
  if (cursor.sequence.size() != stepCount) return std::nullopt;
  for (int index : cursor.sequence)
    if (index < 0 || index >= static_cast<int>(frameCount)) return std::nullopt;
  if (!rates.empty() && rates.size() != stepCount) return std::nullopt;
  for (size_t i = 0; i < stepCount; ++i) {
    const int jiffies = rates.empty() ? rate : rates[i];
    cursor.jiffies.push_back(jiffies > 0 ? jiffies : 1);
  }
  return cursor;
}

BusyCursor::BusyCursor(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
}

bool BusyCursor::Load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const auto cursor = ParseAnimatedCursor(file.readAll());
  if (!cursor) return false;
  cursors_.clear();
  for (const CursorFrame& frame : cursor->frames)
    cursors_.emplace_back(QPixmap::fromImage(frame.image), frame.hotspot.x(), frame.hotspot.y());
  sequence_ = cursor->sequence;
  jiffies_ = cursor->jiffies;
  return true;
}

void BusyCursor::Show() {
  if (shown_) return;
  shown_ = true;
  step_ = 0;
  if (cursors_.empty()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return;
  }
  QApplication::setOverrideCursor(cursors_[static_cast<size_t>(sequence_[0])]);
  timer_.start(jiffies_[0] * 1000 / 60);
}

void BusyCursor::Hide() {
  if (!shown_) return;
  shown_ = false;
  timer_.stop();
  QApplication::restoreOverrideCursor();
}

bool BusyCursor::ShowArrow() {
  if (!shown_) return false;
  ++arrows_;
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  return true;
}

void BusyCursor::EndArrow() {
  if (arrows_ == 0) return;
  --arrows_;
  QApplication::restoreOverrideCursor();
}

void BusyCursor::Step() {
  if (!shown_ || cursors_.empty()) return;
  step_ = (step_ + 1) % sequence_.size();
  // While a box shows its arrow on top, the animation only keeps time.
  if (arrows_ == 0)
    QApplication::changeOverrideCursor(cursors_[static_cast<size_t>(sequence_[step_])]);
  timer_.start(jiffies_[step_] * 1000 / 60);
}

}  // namespace taurasw
