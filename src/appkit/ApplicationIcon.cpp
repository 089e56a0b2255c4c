#include "appkit/ApplicationIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

constexpr const char* kThemeName = "org.marrowlane.Marrowlane";

// A folder-like tile with a lane of three file rows, drawn at one size; QIcon scales it.
QPixmap drawnIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  QRectF tile(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
  QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
  fill.setColorAt(0, QColor(0xE8, 0x8A, 0x4B));
  fill.setColorAt(1, QColor(0xB2, 0x4A, 0x2A));
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(tile, s * 0.18, s * 0.18);
  p.setBrush(QColor(0xFF, 0xF4, 0xE6));
  for (int row = 0; row < 3; ++row) {
    qreal y = s * (0.26 + row * 0.18);
    p.drawRoundedRect(QRectF(s * 0.22, y, s * 0.12, s * 0.12), s * 0.03, s * 0.03);
    p.drawRoundedRect(QRectF(s * 0.40, y + s * 0.03, s * (row == 1 ? 0.26 : 0.38), s * 0.06),
                      s * 0.03, s * 0.03);
  }
  return pixmap;
}

}  // namespace

QIcon applicationIcon() {
  ML_ASSERT_MAIN_THREAD();
  QIcon themed = QIcon::fromTheme(kThemeName);
  if (!themed.isNull()) return themed;
  QIcon icon;
  for (int size : {16, 32, 64, 128}) icon.addPixmap(drawnIcon(size));
  return icon;
}

}  // namespace ml::appkit
