#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <map>

class QComboBox;

// "Configure ports...": maps COM1, COM2 and COM3 to serial devices. Each port
// offers the devices found on the machine and takes any path typed in (a pty
// or a socat link); an empty choice leaves the port on its default device
// (/dev/ttyS<n-1>). A port that an environment variable VORELAN_COM<n>
// overrides says so. Accepting writes the per-user port map; the serial node
// reads it at its next opening.
//
// Threads: GUI thread only.
class TPortsDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kPorts = 3;

  // mapText: the port map's current text; devices: what to offer.
  TPortsDlg(const QString& mapText, const QStringList& devices, QWidget* parent = nullptr);

  QComboBox* deviceBox(int port) const { return boxes_.at(std::size_t(port - 1)); }
  // The devices chosen, by port (an empty text for the default device).
  std::map<int, QString> chosenDevices() const;

 private:
  std::array<QComboBox*, kPorts> boxes_{};
};
