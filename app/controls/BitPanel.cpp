#include "BitPanel.h"

#include <algorithm>

#include "BitButton.h"

namespace {

// Qt widgets take sizes up to QWIDGETSIZE_MAX; sums of extreme margins are
// computed in 64 bits and brought back into that range.
int toWidgetCoord(qint64 v) { return int(std::clamp<qint64>(v, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)); }
int toWidgetSize(qint64 v) { return int(std::clamp<qint64>(v, 0, QWIDGETSIZE_MAX)); }

// Bit i of a 32-bit value; buttons beyond bit 31 have no bit in it.
bool bitOf(int value, int i) { return i < 32 && ((quint32(value) >> i) & 1u); }

}  // namespace

TBitPanel::TBitPanel(QWidget *parent) : QGroupBox(parent) {}

TBitPanel::TBitPanel(const QString &title, QWidget *parent) : QGroupBox(title, parent) {}

TBitPanel::~TBitPanel() { destroyButtons(); }

bool TBitPanel::isFixedBit(const QString &caption) {
  return caption == QLatin1String("0") || caption == QLatin1String("1");
}

TBitButton *TBitPanel::button(int bit) const {
  return (bit >= 0 && bit < m_buttons.size()) ? m_buttons.at(bit) : nullptr;
}

void TBitPanel::setButtons(const QStringList &captions) {
  destroyButtons();
  m_captions = captions;
  setNbButtons(int(captions.size()));
}

void TBitPanel::setNbButtons(int n) {
  if (n != m_captions.size()) return;
  // Setting the count again rebuilds the buttons rather than adding a second set.
  destroyButtons();
  m_nbButtons = n;
  for (int i = 0; i < n; ++i) {
    auto *b = new TBitButton(m_captions.at(i), this);
    b->setObjectName(QStringLiteral("Bit%1").arg(i));
    connect(b, &TBitButton::pressed, this, &TBitPanel::onButtonPressed);
    m_buttons.append(b);
    b->show();
  }
  layoutButtons();
}

void TBitPanel::setButtonsHint(const QStringList &hints) {
  m_hints = hints;
  layoutButtons();
}

void TBitPanel::setMargin(int margin) {
  if (margin == m_margin) return;
  m_margin = margin;
  layoutButtons();
}

void TBitPanel::setUpMargin(int upMargin) {
  if (upMargin == m_upMargin) return;
  m_upMargin = upMargin;
  layoutButtons();
}

void TBitPanel::setValue(int v) {
  if (v == m_value) return;
  m_value = v;
  layoutButtons();
}

void TBitPanel::resizeEvent(QResizeEvent *event) {
  QGroupBox::resizeEvent(event);
  layoutButtons();
}

void TBitPanel::destroyButtons() {
  for (TBitButton *b : std::as_const(m_buttons)) {
    if (m_handlingPress) {
      // A change handler replaced the buttons while one of them is still
      // handling its press: let that one finish before it goes.
      b->hide();
      b->deleteLater();
    } else {
      delete b;
    }
  }
  m_buttons.clear();
  m_nbButtons = 0;
}

void TBitPanel::layoutButtons() {
  const qint64 n = m_buttons.size();
  if (n == 0) return;
  const qint64 w = width();
  const qint64 inner = w - 2 * qint64(m_margin);
  const qint64 buttonWidth = inner / n;
  const qint64 top = qint64(m_upMargin) + 8;
  const qint64 buttonHeight = qint64(height()) - top - m_margin;
  for (int i = 0; i < n; ++i) {
    TBitButton *b = m_buttons.at(i);
    // Integer divisions as written: bit 0 sits at the right edge and the
    // others follow leftwards without accumulating rounding gaps.
    const qint64 left = w - m_margin - (inner * i) / n - buttonWidth;
    b->setGeometry(toWidgetCoord(left), toWidgetCoord(top), toWidgetSize(buttonWidth), toWidgetSize(buttonHeight));
    const QString caption = b->caption();
    if (caption == QLatin1String("0"))
      b->setSunken(false);
    else if (caption == QLatin1String("1"))
      b->setSunken(true);
    else
      b->setSunken(bitOf(m_value, i));
    const QString hint = i < m_hints.size() ? m_hints.at(i) : QString();
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    b->setToolTip(bar < 0 ? hint : hint.left(bar));
    b->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
  }
}

void TBitPanel::onButtonPressed(TBitButton *pressed) {
  if (isFixedBit(pressed->caption())) return;
  pressed->setSunken(!pressed->isSunken());
  quint32 v = 0;
  for (int i = 0; i < m_buttons.size() && i < 32; ++i)
    if (m_buttons.at(i)->isSunken()) v |= 1u << i;
  m_value = int(v);
  const bool nested = m_handlingPress;
  m_handlingPress = true;
  emit change(this);
  m_handlingPress = nested;
}
