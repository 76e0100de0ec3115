// TBitPanel: a register value shown as a row of bit buttons in a group box,
// bit 0 on the right, the way a data sheet draws a register. Pressing a
// button flips its bit and raises change. Buttons captioned "0" or "1" are
// bits fixed at that value and do not react.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <QVector>

class TBitButton;

class TBitPanel : public QGroupBox {
  Q_OBJECT
  Q_PROPERTY(QStringList Buttons READ buttons WRITE setButtons)
  Q_PROPERTY(int NbButtons READ nbButtons WRITE setNbButtons)
  Q_PROPERTY(QStringList ButtonsHint READ buttonsHint WRITE setButtonsHint)
  Q_PROPERTY(int Margin READ margin WRITE setMargin)
  Q_PROPERTY(int UpMargin READ upMargin WRITE setUpMargin)
  Q_PROPERTY(int Value READ value WRITE setValue)

 public:
  explicit TBitPanel(QWidget* parent = nullptr);
  explicit TBitPanel(const QString& title, QWidget* parent = nullptr);
  ~TBitPanel() override;

  QStringList buttons() const { return captions_; }
  // Replaces every button: one per caption, entry i on the button of bit i.
  void setButtons(const QStringList& captions);

  int nbButtons() const { return nbButtons_; }
  // Creates the buttons anew; ignored unless n equals the number of captions.
  void setNbButtons(int n);

  QStringList buttonsHint() const { return hints_; }
  // Hint i goes to the button of bit i; a hint "short|long" shows the short
  // text as tool tip and the long one as status tip.
  void setButtonsHint(const QStringList& hints);

  int margin() const { return margin_; }
  void setMargin(int margin);
  int upMargin() const { return upMargin_; }
  void setUpMargin(int upMargin);

  int value() const { return value_; }
  // Shows v; never raises change.
  void setValue(int v);

  // The button of bit i, or nullptr.
  TBitButton* button(int bit) const;

 signals:
  // OnChange: the user flipped a bit; value() already holds the new value.
  void change(TBitPanel* sender);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void destroyButtons();
  void layoutButtons();
  void onButtonPressed(TBitButton* button);
  static bool isFixedBit(const QString& caption);

  QStringList captions_;
  QStringList hints_;
  QVector<TBitButton*> buttons_;  // in bit order; owned as child widgets
  int nbButtons_ = 0;
  int margin_ = 8;
  int upMargin_ = 0;
  int value_ = 0;
  bool handlingPress_ = false;  // a button's press is on the stack
};
