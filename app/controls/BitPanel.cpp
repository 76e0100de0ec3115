#include "BitPanel.h"

#include <algorithm>

#include "BitButton.h"

namespace {

// Qt widgets take sizes up to QWIDGETSIZE_MAX; sums of extreme margins are
// computed in 64 bits and brought back into that range.
int toWidgetCoord(qint64 v) {
  return int(std::clamp<qint64>(v, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}
int toWidgetSize(qint64 v) {
  return int(std::clamp<qint64>(v, 0, QWIDGETSIZE_MAX));
}

// Bit i of a 32-bit value; buttons beyond bit 31 have no bit in it.
bool bitOf(int value, int i) {
  return i < 32 && ((quint32(value) >> i) & 1u);
}

}  // namespace

TBitPanel::TBitPanel(QWidget* parent) : QGroupBox(parent) {}

TBitPanel::TBitPanel(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

TBitPanel::~TBitPanel() {
  destroyButtons();
}

bool TBitPanel::isFixedBit(const QString& caption) {
  return caption == QLatin1String("0") || caption == QLatin1String("1");
}

TBitButton* TBitPanel::button(int bit) const {
  return (bit >= 0 && bit < buttons_.size()) ? buttons_.at(bit) : nullptr;
}

void TBitPanel::setButtons(const QStringList& captions) {
  destroyButtons();
  captions_ = captions;
  setNbButtons(int(captions.size()));
}

void TBitPanel::setNbButtons(int n) {
  if (n != captions_.size()) return;
  // Setting the count again rebuilds the buttons rather than adding a second set.
  destroyButtons();
  nbButtons_ = n;
  for (int i = 0; i < n; ++i) {
    auto* b = new TBitButton(captions_.at(i), this);
    b->setObjectName(QStringLiteral("Bit%1").arg(i));
    connect(b, &TBitButton::pressed, this, &TBitPanel::onButtonPressed);
    buttons_.append(b);
    b->show();
  }
  layoutButtons();
}

void TBitPanel::setButtonsHint(const QStringList& hints) {
  hints_ = hints;
  layoutButtons();
}

void TBitPanel::setMargin(int margin) {
  if (margin == margin_) return;
  margin_ = margin;
  layoutButtons();
}

void TBitPanel::setUpMargin(int upMargin) {
  if (upMargin == upMargin_) return;
  upMargin_ = upMargin;
  layoutButtons();
}

void TBitPanel::setValue(int v) {
  if (v == value_) return;
  value_ = v;
  layoutButtons();
}

void TBitPanel::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  layoutButtons();
}

void TBitPanel::destroyButtons() {
  for (TBitButton* b : std::as_const(buttons_)) {
    if (handlingPress_) {
      // A change handler replaced the buttons while one of them is still
      // handling its press: let that one finish before it goes.
      b->hide();
      b->deleteLater();
    } else {
      delete b;
    }
  }
  buttons_.clear();
  nbButtons_ = 0;
}

void TBitPanel::layoutButtons() {
  const qint64 n = buttons_.size();
  if (n == 0) return;
  const qint64 w = width();
  const qint64 inner = w - 2 * qint64(margin_);
  const qint64 buttonWidth = inner / n;
  const qint64 top = qint64(upMargin_) + 8;
  const qint64 buttonHeight = qint64(height()) - top - margin_;
  for (int i = 0; i < n; ++i) {
    TBitButton* b = buttons_.at(i);
    // Integer divisions as written: bit 0 sits at the right edge and the
    // others follow leftwards without accumulating rounding gaps.
    const qint64 left = w - margin_ - (inner * i) / n - buttonWidth;
    b->setGeometry(toWidgetCoord(left), toWidgetCoord(top), toWidgetSize(buttonWidth), toWidgetSize(buttonHeight));
    const QString caption = b->caption();
    if (caption == QLatin1String("0"))
      b->setSunken(false);
    else if (caption == QLatin1String("1"))
      b->setSunken(true);
    else
      b->setSunken(bitOf(value_, i));
    const QString hint = i < hints_.size() ? hints_.at(i) : QString();
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    b->setToolTip(bar < 0 ? hint : hint.left(bar));
    b->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
  }
}

void TBitPanel::onButtonPressed(TBitButton* pressed) {
  if (isFixedBit(pressed->caption())) return;
  pressed->setSunken(!pressed->isSunken());
  quint32 v = 0;
  for (int i = 0; i < buttons_.size() && i < 32; ++i)
    if (buttons_.at(i)->isSunken()) v |= 1u << i;
  value_ = int(v);
  const bool nested = handlingPress_;
  handlingPress_ = true;
  emit change(this);
  handlingPress_ = nested;
}
