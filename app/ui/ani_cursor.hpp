// The optional animated busy cursor "hourglas.ani": the RIFF "ACON" format read
// without any platform help, its icon or cursor frames decoded to images, and a busy
// cursor that plays them. A missing or malformed file leaves the standard busy cursor.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <optional>
#include <vector>

namespace taurasw {

struct CursorFrame {
  QImage image;
  QPoint hotspot;
};

struct AnimatedCursorData {
  std::vector<CursorFrame> frames;
  // The frames in the order they show (indexes into `frames`) and how long each step
  // lasts, in jiffies of 1/60 s.
  std::vector<int> sequence;
  std::vector<int> jiffies;
};

// The first image of an .ico/.cur file (a BMP or a PNG inside); nothing when the data
// is not one.
std::optional<CursorFrame> DecodeIconImage(const QByteArray& data);

// Nothing when the data is not a complete animated cursor.
std::optional<AnimatedCursorData> ParseAnimatedCursor(const QByteArray& data);

// The busy cursor of every operation: the standard one, or the animation when loaded.
class BusyCursor : public QObject {
 public:
  explicit BusyCursor(QObject* parent = nullptr);

  // Loads an animated cursor file; false (and the standard cursor kept) when the
  // file is missing or malformed.
  bool Load(const QString& path);
  bool Animated() const { return !cursors_.empty(); }

  void Show();  // pushes the busy cursor over every window
  void Hide();  // takes it away again
  // Message boxes show the arrow while the busy cursor is up.
  bool ShowArrow();  // true when an arrow was pushed; pair with EndArrow()
  void EndArrow();

 private:
  void Step();

  std::vector<QCursor> cursors_;
  std::vector<int> sequence_;
  std::vector<int> jiffies_;
  size_t step_ = 0;
  int arrows_ = 0;
  bool shown_ = false;
  QTimer timer_;
};

}  // namespace taurasw
