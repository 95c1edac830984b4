// The animated busy cursor: a generated "hourglas.ani" read frame by frame, bad files refused.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "ui/ani_cursor.hpp"

namespace taurasw {
namespace {

QByteArray Le(std::initializer_list<uint32_t> words, int bytes = 4) {
  QByteArray out;
  for (uint32_t v : words)
    for (int i = 0; i < bytes; ++i) out.append(char((v >> (8 * i)) & 0xFF));
  return out;
}
QByteArray Chunk(const char* tag, const QByteArray& body) {
  return QByteArray(tag, 4) + Le({uint32_t(body.size())}) + body +
         QByteArray(body.size() % 2, '\0');
}

// An .ico (type 1) or .cur (type 2) file of one BMP image of `width` x `height` pixels;
// a cursor's entry names its size, an icon's leaves it to the bitmap.
QByteArray IconFile(uint32_t type, uint32_t width, uint32_t height, uint32_t bits, QPoint hotspot,
                    const QByteArray& pixels) {
  const QByteArray image =
      Le({40, width, height * 2}) + Le({1, bits}, 2) + QByteArray(24, '\0') + pixels;
  const uint8_t size = type == 2 ? uint8_t(width) : 0;
  return Le({0, type, 1}, 2) + Le({size, type == 2 ? height : 0, 0, 0}, 1) +
         Le({uint32_t(hotspot.x()), uint32_t(hotspot.y())}, 2) + Le({uint32_t(image.size()), 22}) +
         image;
}

// A 4 x 4 cursor frame of one colour, 32 bits per pixel, and its AND mask.
QByteArray CursorFile(QRgb colour, int hotX, int hotY) {
  const QByteArray pixels = Le({0xFF000000u | colour}).repeated(16) + QByteArray(16, '\0');
  return IconFile(2, 4, 4, 32, {hotX, hotY}, pixels);
}

struct AniParts {
  uint32_t frames = 2, steps = 3;
  uint32_t flags = 3;  // icon frames, sequence present
  QByteArray seq = Le({0, 1, 0});
  QByteArray rate = Le({5, 10, 15});
  std::vector<QByteArray> icons = {CursorFile(qRgb(255, 0, 0), 1, 2),
                                   CursorFile(qRgb(0, 0, 255), 3, 3)};
};

QByteArray Ani(const AniParts& parts) {
  // Header: size, frames, steps, four unused words, the default rate in jiffies, flags.
  QByteArray body =
      "ACON" + Chunk("anih", Le({36, parts.frames, parts.steps, 0, 0, 0, 0, 6, parts.flags}));
  if (!parts.rate.isEmpty()) body += Chunk("rate", parts.rate);
  if (!parts.seq.isEmpty()) body += Chunk("seq ", parts.seq);
  QByteArray frames("fram");
  for (const QByteArray& icon : parts.icons) frames += Chunk("icon", icon);
  return Chunk("RIFF", body + Chunk("LIST", frames));
}

TEST(AnimatedCursor, FramesSequenceRatesHotspotsAndMonochromeMasks) {
  const auto cursor = ParseAnimatedCursor(Ani({}));
  ASSERT_TRUE(cursor);
  ASSERT_EQ(cursor->frames.size(), 2u);
  EXPECT_EQ(cursor->sequence, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(cursor->jiffies, (std::vector<int>{5, 10, 15}));
  EXPECT_EQ(cursor->frames[0].hotspot, QPoint(1, 2));
  EXPECT_EQ(cursor->frames[1].hotspot, QPoint(3, 3));
  EXPECT_EQ(cursor->frames[0].image.size(), QSize(4, 4));
  EXPECT_EQ(cursor->frames[0].image.pixel(2, 2), qRgba(255, 0, 0, 255));
  EXPECT_EQ(cursor->frames[1].image.pixel(0, 3), qRgba(0, 0, 255, 255));
  // Without sequence and rate the frames play in order at the header's rate.
  const auto inOrder = ParseAnimatedCursor(Ani({.steps = 2, .flags = 1, .seq = {}, .rate = {}}));
  ASSERT_TRUE(inOrder);
  EXPECT_EQ(inOrder->sequence, (std::vector<int>{0, 1}));
  EXPECT_EQ(inOrder->jiffies, (std::vector<int>{6, 6}));
  // Monochrome, 2 x 1, palette black and white, pixels 1 and 0, the mask clearing the second; its
  // entry's planes 1 and bit count 0 would be a point inside the image, read as a hotspot.
  const auto frame = DecodeIconImage(IconFile(1, 2, 1, 1, {1, 0}, Le({0, 0x00FFFFFF, 0x80, 0x40})));
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->image.size(), QSize(2, 1));
  EXPECT_EQ(frame->image.pixel(0, 0), qRgba(255, 255, 255, 255));
  EXPECT_EQ(qAlpha(frame->image.pixel(1, 0)), 0);
  EXPECT_EQ(frame->hotspot, QPoint(0, 0));  // icons have none
}

TEST(AnimatedCursor, MalformedFilesAreRefused) {
  const QByteArray good = Ani({});
  QByteArray wrongForm = good;
  wrongForm.replace(8, 4, "AVI ");
  for (const QByteArray& bad : {QByteArray(), good.left(good.size() - 10), wrongForm})
    EXPECT_FALSE(ParseAnimatedCursor(bad));
  AniParts parts[4];
  parts[0].frames = 3;             // the header promises a frame the list lacks
  parts[1].seq = Le({0, 2, 0});    // one past the last frame
  parts[2].flags = 2;              // raw bitmap frames
  parts[3].icons[1].truncate(30);  // a frame cut short
  for (const AniParts& p : parts) EXPECT_FALSE(ParseAnimatedCursor(Ani(p)));
  EXPECT_FALSE(DecodeIconImage(QByteArray("\0\0\3\0\1\0", 6)));
}

TEST(BusyCursor, StandardCursorUnlessAGoodFileLoads) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto write = [&](const char* name, const QByteArray& data) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return file.fileName();
  };
  // The override cursor's shape; -1 without one.
  const auto shape = [] {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
  };
  BusyCursor busy;
  EXPECT_FALSE(busy.Load(dir.filePath("hourglas.ani")));  // missing
  EXPECT_FALSE(busy.Load(write("bad.ani", "RIFF\x10\0\0\0ACONjunkjunk")));
  EXPECT_FALSE(busy.Animated());
  busy.Show();
  EXPECT_EQ(shape(), Qt::WaitCursor);
  busy.Hide();
  EXPECT_EQ(shape(), -1);
  ASSERT_TRUE(busy.Load(write("hourglas.ani", Ani({}))));
  EXPECT_TRUE(busy.Animated());
  busy.Show();
  EXPECT_EQ(shape(), Qt::BitmapCursor);
  EXPECT_EQ(QApplication::overrideCursor()->hotSpot(), QPoint(1, 2));
  // A box over the busy cursor shows the arrow, then the animation comes back.
  EXPECT_TRUE(busy.ShowArrow());
  EXPECT_EQ(shape(), Qt::ArrowCursor);
  busy.EndArrow();
  EXPECT_EQ(shape(), Qt::BitmapCursor);
  busy.Hide();
  EXPECT_EQ(shape(), -1);
  EXPECT_FALSE(busy.ShowArrow()) << "no arrow needed without the busy cursor";
}

}  // namespace
}  // namespace taurasw
