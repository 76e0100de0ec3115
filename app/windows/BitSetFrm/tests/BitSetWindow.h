// The Bit Settings window as its tests hold it: created and loaded, its
// message boxes answered by a recording prompt, its controls found by name.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "BitSetFrm.h"
#include "BitTiming.h"
#include "FakeToolWindowHost.h"
#include "HexEdit.h"
#include "WindowTestSupport.h"

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

// The message boxes the window showed, answered with `answer`.
struct RecordingPrompt {
  struct Shown {
    QMessageBox::Icon icon;
    QString text;
    QMessageBox::StandardButtons buttons;
  };
  std::vector<Shown> shown;
  QMessageBox::StandardButton answer = QMessageBox::Yes;

  TBitSetFrm::Prompt prompt() {
    return [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
      shown.push_back({icon, text, buttons});
      return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : answer;
    };
  }
};

class BitSetWindow {
 public:
  explicit BitSetWindow(FakeToolWindowHost& host) : window(std::make_unique<TBitSetFrm>(host)) {
    window->SetPrompt(prompt.prompt());
    window->createForm();
  }

  template <class T>
  T* Find(const char* name) const {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QLineEdit* Clock() const { return Find<QLineEdit>("Clock"); }
  QLineEdit* BaudRate() const { return Find<QLineEdit>("BaudRate"); }
  QSpinBox* SamplePos() const { return Find<QSpinBox>("SamplePos"); }
  QSlider* Track() const { return Find<QSlider>("SamplePosTrack"); }
  THexEdit* Brp() const { return Field(window.get(), "BRP"); }
  QSpinBox* Bs1() const { return Find<QSpinBox>("BS1"); }
  QSpinBox* Bs2() const { return Find<QSpinBox>("BS2"); }
  QSpinBox* Rjw() const { return Find<QSpinBox>("RJW"); }
  QString TimeQuantum() const { return Find<QLabel>("TimeQuantum")->text(); }
  QTableView* Table() const { return Find<QTableView>("ExactSettings"); }
  BitTiming::Setting Shown() const { return {int(Brp()->value()), Bs1()->value(), Bs2()->value()}; }

  // Clock, wanted rate and sample point as typed, then OK.
  void Search(const char* clock, const char* rate, int sample) {
    Clock()->setText(QString::fromLatin1(clock));
    BaudRate()->setText(QString::fromLatin1(rate));
    SamplePos()->setValue(sample);
    window->Calculate();
  }

  RecordingPrompt prompt;
  std::unique_ptr<TBitSetFrm> window;
};
