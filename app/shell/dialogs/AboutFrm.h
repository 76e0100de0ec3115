#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

// The About box (component name AboutFrm, caption "About Vorelan"): a white
// window of 315 x 160 pixels with a tool-window frame whose only button closes
// it, centred on the screen and shown modally. The picture fills its left 145
// pixels; on the right stand the version, the maker's details, a link to the
// maker's web page and the default button "OK". It keeps no saved position.
//
// Threads: GUI thread only.
class TAboutFrm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 315;
  static constexpr int kHeight = 160;
  static constexpr int kPictureWidth = 145;

  explicit TAboutFrm(QWidget* parent = nullptr);

  static QUrl webPage();
  // Opens a web page; the platform's "open" action unless a test replaces it.
  using UrlOpener = std::function<bool(const QUrl&)>;
  void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

  QLabel* linkLabel() const { return link_; }
  QPushButton* okButton() const { return ok_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* link_;
  QPushButton* ok_;
  UrlOpener openUrl_;
};
