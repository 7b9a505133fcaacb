// The network-drive dialogs. A network drive here is a drive letter linked to a folder that holds a
// mounted share; connecting creates the link, disconnecting removes the link of a network drive.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/Platform.h"
#include "ui/FolderDialogs.h"
#include "ui/KtFileExplorer28.h"
#include "ui/KtFileExplorer28Internal.h"
#include "ui/MessageService.h"

namespace velmor::ui {

using namespace explorer;
using Kind = IMessageService::Kind;

namespace {

QString DriveLabel(char letter) {
  return QLatin1Char(letter) + QStringLiteral(":");
}

}  // namespace

bool ShowConnectNetworkDriveDialog(QWidget* parent, QChar* connectedLetter) {
  auto& os = platform::Os();
  const uint32_t mask = os.LogicalDrives();
  // The default is the letter after the highest drive present, as the system dialog offers it.
  int highest = -1;
  for (int i = 0; i < 26; ++i) {
    if ((mask & (1u << i)) != 0) highest = i;
  }
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("ConnectNetworkDriveDialog"));
  dialog.setWindowTitle(QStringLiteral("Netzlaufwerk verbinden"));
  auto* form = new QFormLayout;
  auto* letters = new QComboBox(&dialog);
  letters->setObjectName(QStringLiteral("DriveLetter"));
  for (int i = 0; i < 26; ++i) {
    if ((mask & (1u << i)) == 0) letters->addItem(DriveLabel(static_cast<char>('A' + i)), QChar('A' + i));
  }
  if (letters->count() == 0) {
    Messages().TypedBox(Kind::Error, QStringLiteral("Es ist kein Laufwerksbuchstabe mehr frei."),
                        QMessageBox::Ok);
    return false;
  }
  // With Z: present (every Wine prefix maps it) there is no letter after the highest one; then the
  // highest free letter is offered, as the desktop's own dialogs do, rather than the floppy letter A:.
  const int guess = highest + 1 < 26 ? letters->findData(QChar('A' + highest + 1)) : -1;
  letters->setCurrentIndex(guess >= 0 ? guess : letters->count() - 1);
  auto* folderRow = new QHBoxLayout;
  auto* folder = new QLineEdit(&dialog);
  folder->setObjectName(QStringLiteral("ShareFolder"));
  folder->setPlaceholderText(QStringLiteral("/mnt/freigabe"));
  folder->setMinimumWidth(280);
  auto* browse = new QPushButton(QStringLiteral("&Durchsuchen..."), &dialog);
  browse->setObjectName(QStringLiteral("Browse"));
  folderRow->addWidget(folder, 1);
  folderRow->addWidget(browse);
  auto* driveLabel = new QLabel(QStringLiteral("&Laufwerk:"), &dialog);
  driveLabel->setBuddy(letters);
  auto* folderLabel = new QLabel(QStringLiteral("&Ordner:"), &dialog);
  folderLabel->setBuddy(folder);
  form->addRow(driveLabel, letters);
  form->addRow(folderLabel, folderRow);
  form->addRow(new QLabel(QStringLiteral("Der Ordner enthält die eingebundene Netzwerkfreigabe."), &dialog));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);

  QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, folder] {
    QString chosen = folder->text();
    if (FolderDialogs().ChooseHostFolder(&dialog, QStringLiteral("Freigabe wählen"), chosen))
      folder->setText(chosen);
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    const QString hostFolder = folder->text().trimmed();
    // The folder is a host path (where the share is mounted); it must exist as a folder.
    if (hostFolder.isEmpty() || !hostFolder.startsWith(QLatin1Char('/')) ||
        !os.DirectoryExists(os.ToWindows(U8(hostFolder)))) {
      Messages().TypedBox(
          Kind::Error, QStringLiteral("Der Ordner \"") + hostFolder + QStringLiteral("\" existiert nicht."),
          QMessageBox::Ok);
      return;
    }
    const char letter = static_cast<char>(letters->currentData().toChar().unicode());
    if (!os.ConnectNetworkDrive(letter, U8(hostFolder))) {
      Messages().TypedBox(Kind::Error,
                          QStringLiteral("Das Laufwerk ") + DriveLabel(letter) +
                              QStringLiteral(" konnte nicht verbunden werden."),
                          QMessageBox::Ok);
      return;
    }
    if (connectedLetter != nullptr) *connectedLetter = QChar(letter);
    dialog.accept();
  });
  return dialog.exec() == QDialog::Accepted;
}

bool ShowDisconnectNetworkDriveDialog(QWidget* parent) {
  auto& os = platform::Os();
  const uint32_t mask = os.LogicalDrives();
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("DisconnectNetworkDriveDialog"));
  dialog.setWindowTitle(QStringLiteral("Netzlaufwerk trennen"));
  auto* letters = new QComboBox(&dialog);
  letters->setObjectName(QStringLiteral("DriveLetter"));
  for (int i = 0; i < 26; ++i) {
    const char letter = static_cast<char>('A' + i);
    if ((mask & (1u << i)) != 0 && os.GetDriveType(letter) == platform::DriveType::Remote) {
      letters->addItem(DriveLabel(letter) + QStringLiteral("  ") + Q(os.DriveTarget(letter)), QChar(letter));
    }
  }
  if (letters->count() == 0) {
    Messages().TypedBox(Kind::Information, QStringLiteral("Es sind keine Netzlaufwerke verbunden."),
                        QMessageBox::Ok);
    return false;
  }
  auto* label = new QLabel(QStringLiteral("&Laufwerk:"), &dialog);
  label->setBuddy(letters);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(label);
  layout->addWidget(letters);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    const char letter = static_cast<char>(letters->currentData().toChar().unicode());
    if (!os.DisconnectNetworkDrive(letter)) {
      Messages().TypedBox(Kind::Error,
                          QStringLiteral("Das Laufwerk ") + DriveLabel(letter) +
                              QStringLiteral(" konnte nicht getrennt werden."),
                          QMessageBox::Ok);
      return;
    }
    dialog.accept();
  });
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace velmor::ui
