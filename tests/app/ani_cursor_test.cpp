// The animated busy cursor: a small generated "hourglas.ani" is read frame by frame,
// and malformed or missing files are refused without harm.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "ui/ani_cursor.hpp"

namespace taurasw {
namespace {

void Put16(QByteArray& out, uint32_t v) {
  out.append(char(v & 0xFF));
  out.append(char((v >> 8) & 0xFF));
}
void Put32(QByteArray& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Chunk(QByteArray& out, const char* tag, const QByteArray& body) {
  out.append(tag, 4);
  Put32(out, static_cast<uint32_t>(body.size()));
  out.append(body);
  if (body.size() % 2) out.append('\0');
}

// An .ico (type 1) or .cur (type 2) file of one BMP image of `width` x `height` pixels.
QByteArray IconFile(uint32_t type, uint32_t width, uint32_t height, uint32_t bits, QPoint hotspot,
                    const QByteArray& pixels) {
  QByteArray image;
  for (uint32_t field : {40u, width, height * 2}) Put32(image, field);  // both bitmaps
  Put16(image, 1);
  Put16(image, bits);
  image += QByteArray(24, '\0') + pixels;
  QByteArray file;
  for (uint32_t field : {0u, type, 1u}) Put16(file, field);
  // A cursor's entry names its size; an icon's leaves it to the bitmap.
  const char size[] = {char(type == 2 ? width : 0), char(type == 2 ? height : 0), 0, 0};
  file.append(size, 4);
  Put16(file, static_cast<uint32_t>(hotspot.x()));
  Put16(file, static_cast<uint32_t>(hotspot.y()));
  Put32(file, static_cast<uint32_t>(image.size()));
  Put32(file, 22);
  return file + image;
}

// A 4 x 4 cursor frame of one colour, 32 bits per pixel, with its hotspot.
QByteArray CursorFile(QRgb colour, int hotX, int hotY) {
  QByteArray pixels;
  const char bgra[] = {char(qBlue(colour)), char(qGreen(colour)), char(qRed(colour)), char(0xFF)};
  for (int pixel = 0; pixel < 16; ++pixel) pixels.append(bgra, 4);
  pixels += QByteArray(16, '\0');  // AND mask
  return IconFile(2, 4, 4, 32, {hotX, hotY}, pixels);
}

// A 2 x 1 icon of one bit per pixel whose AND mask makes the second pixel clear.
QByteArray MonochromeIcon() {
  QByteArray pixels;
  Put32(pixels, 0x00000000);  // palette 0: black
  Put32(pixels, 0x00FFFFFF);  // palette 1: white
  Put32(pixels, 0x00000080);  // pixels 1, 0: first byte 0x80, row padded to 4 bytes
  Put32(pixels, 0x00000040);  // AND mask: the second pixel is transparent
  // Planes 1 and bit count 0 in the entry: a point inside the image, were it read as a hotspot.
  return IconFile(1, 2, 1, 1, {1, 0}, pixels);
}

struct AniParts {
  uint32_t frames = 2;
  uint32_t steps = 3;
  uint32_t flags = 3;  // icon frames, sequence present
  QByteArray seq;
  QByteArray rate;
  std::vector<QByteArray> icons;
};

QByteArray Ani(const AniParts& parts) {
  QByteArray header;
  Put32(header, 36);
  Put32(header, parts.frames);
  Put32(header, parts.steps);
  for (int i = 0; i < 4; ++i) Put32(header, 0);
  Put32(header, 6);  // default rate in jiffies
  Put32(header, parts.flags);
  QByteArray body("ACON", 4);
  Chunk(body, "anih", header);
  if (!parts.rate.isEmpty()) Chunk(body, "rate", parts.rate);
  if (!parts.seq.isEmpty()) Chunk(body, "seq ", parts.seq);
  QByteArray frames("fram", 4);
  for (const QByteArray& icon : parts.icons) Chunk(frames, "icon", icon);
  Chunk(body, "LIST", frames);
  QByteArray file;
  Chunk(file, "RIFF", body);
  return file;
}

AniParts Hourglass() {
  AniParts parts;
  Put32(parts.seq, 0);
  Put32(parts.seq, 1);
  Put32(parts.seq, 0);
  Put32(parts.rate, 5);
  Put32(parts.rate, 10);
  Put32(parts.rate, 15);
  parts.icons = {CursorFile(qRgb(255, 0, 0), 1, 2), CursorFile(qRgb(0, 0, 255), 3, 3)};
  return parts;
}

TEST(AnimatedCursor, FramesSequenceRatesAndHotspots) {
  const auto cursor = ParseAnimatedCursor(Ani(Hourglass()));
  ASSERT_TRUE(cursor);
  ASSERT_EQ(cursor->frames.size(), 2u);
  EXPECT_EQ(cursor->sequence, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(cursor->jiffies, (std::vector<int>{5, 10, 15}));
  EXPECT_EQ(cursor->frames[0].hotspot, QPoint(1, 2));
  EXPECT_EQ(cursor->frames[1].hotspot, QPoint(3, 3));
  EXPECT_EQ(cursor->frames[0].image.size(), QSize(4, 4));
  EXPECT_EQ(cursor->frames[0].image.pixel(2, 2), qRgba(255, 0, 0, 255));
  EXPECT_EQ(cursor->frames[1].image.pixel(0, 3), qRgba(0, 0, 255, 255));
}

TEST(AnimatedCursor, WithoutSequenceAndRateTheFramesPlayInOrderAtTheHeaderRate) {
  AniParts parts = Hourglass();
  parts.flags = 1;
  parts.steps = 2;
  parts.seq.clear();
  parts.rate.clear();
  const auto cursor = ParseAnimatedCursor(Ani(parts));
  ASSERT_TRUE(cursor);
  EXPECT_EQ(cursor->sequence, (std::vector<int>{0, 1}));
  EXPECT_EQ(cursor->jiffies, (std::vector<int>{6, 6}));
}

TEST(AnimatedCursor, MonochromeIconsTakeTheirTransparencyFromTheMask) {
  const auto frame = DecodeIconImage(MonochromeIcon());
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->image.size(), QSize(2, 1));
  EXPECT_EQ(frame->image.pixel(0, 0), qRgba(255, 255, 255, 255));
  EXPECT_EQ(qAlpha(frame->image.pixel(1, 0)), 0);
  EXPECT_EQ(frame->hotspot, QPoint(0, 0));  // icons have none
}

TEST(AnimatedCursor, MalformedFilesAreRefused) {
  const QByteArray good = Ani(Hourglass());
  EXPECT_FALSE(ParseAnimatedCursor(QByteArray()));
  EXPECT_FALSE(ParseAnimatedCursor(good.left(good.size() - 10)));  // cut short
  QByteArray wrongForm = good;
  wrongForm.replace(8, 4, "AVI ");
  EXPECT_FALSE(ParseAnimatedCursor(wrongForm));

  AniParts parts = Hourglass();
  parts.frames = 3;  // the header promises a frame the list lacks
  EXPECT_FALSE(ParseAnimatedCursor(Ani(parts)));
  parts = Hourglass();
  parts.seq.clear();
  Put32(parts.seq, 0);
  Put32(parts.seq, 7);  // no such frame
  Put32(parts.seq, 0);
  EXPECT_FALSE(ParseAnimatedCursor(Ani(parts)));
  parts = Hourglass();
  parts.flags = 2;  // raw bitmap frames
  EXPECT_FALSE(ParseAnimatedCursor(Ani(parts)));
  parts = Hourglass();
  parts.icons[1] = parts.icons[1].left(30);  // a frame cut short
  EXPECT_FALSE(ParseAnimatedCursor(Ani(parts)));
  EXPECT_FALSE(DecodeIconImage(QByteArray("\0\0\3\0\1\0", 6)));
}

TEST(BusyCursor, StandardCursorUnlessAGoodFileLoads) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  BusyCursor busy;
  EXPECT_FALSE(busy.Load(dir.filePath("hourglas.ani")));  // missing
  QFile bad(dir.filePath("bad.ani"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("RIFF\x10\0\0\0ACONjunkjunk");
  bad.close();
  EXPECT_FALSE(busy.Load(bad.fileName()));
  EXPECT_FALSE(busy.Animated());

  busy.Show();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  busy.Hide();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  QFile good(dir.filePath("hourglas.ani"));
  ASSERT_TRUE(good.open(QIODevice::WriteOnly));
  good.write(Ani(Hourglass()));
  good.close();
  ASSERT_TRUE(busy.Load(good.fileName()));
  EXPECT_TRUE(busy.Animated());
  busy.Show();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
  EXPECT_EQ(QApplication::overrideCursor()->hotSpot(), QPoint(1, 2));
  // A box over the busy cursor shows the arrow, then the animation comes back.
  EXPECT_TRUE(busy.ShowArrow());
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
  busy.EndArrow();
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
  busy.Hide();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(busy.ShowArrow()) << "no arrow needed without the busy cursor";
}

}  // namespace
}  // namespace taurasw
