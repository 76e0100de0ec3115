#include "PortsDlg.h"

#include "PortMapEditor.h"
#include "PortMapFile.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TPortsDlg::TPortsDlg(const QString& mapText, const QStringList& devices, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PortsDlg"));
  setWindowTitle(QStringLiteral("Configure ports"));

  auto* intro = new QLabel(QStringLiteral("Choose the serial device of each comm port, or type the path "
                                          "of a pseudo-terminal or link. Leave it empty for the default device."),
                           this);
  intro->setWordWrap(true);

  auto* form = new QFormLayout;
  for (int port = 1; port <= kPorts; ++port) {
    auto* box = new QComboBox(this);
    box->setObjectName(QStringLiteral("COM%1Device").arg(port));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(36);
    box->addItem(QString());
    box->addItems(devices);
    box->lineEdit()->setPlaceholderText(QString::fromStdString(portmap::DefaultDevice(port)) +
                                        QStringLiteral(" (default)"));
    box->setCurrentText(PortMapEditor::entry(mapText, port));
    boxes_[std::size_t(port - 1)] = box;

    QWidget* field = box;
    const QString variable = QString::fromLatin1(portmap::kEnvironmentPrefix) + QString::number(port);
    if (qEnvironmentVariableIsSet(variable.toLatin1().constData())) {
      // The variable wins over the map for this run; the map still applies later.
      field = new QWidget(this);
      auto* column = new QVBoxLayout(field);
      column->setContentsMargins(0, 0, 0, 0);
      column->addWidget(box);
      column->addWidget(new QLabel(
          QStringLiteral("Now set by %1 to %2").arg(variable, qEnvironmentVariable(variable.toLatin1().constData())),
          field));
    }
    form->addRow(QStringLiteral("COM &%1").arg(port), field);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

std::map<int, QString> TPortsDlg::chosenDevices() const {
  std::map<int, QString> devices;
  for (int port = 1; port <= kPorts; ++port) devices[port] = deviceBox(port)->currentText().trimmed();
  return devices;
}
