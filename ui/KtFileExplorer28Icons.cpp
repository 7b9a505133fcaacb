#include "ui/KtFileExplorer28Icons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace velmor::ui::explorer {

namespace {

QIcon Themed(const char* name, QStyle::StandardPixmap fallback) {
  QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
  return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}

}  // namespace

void EnsureIconTheme() {
  static bool done = false;
  if (done) return;
  done = true;
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
    QStringList paths = QIcon::themeSearchPaths();
    if (!paths.contains(QStringLiteral("/usr/share/icons"))) {
      paths << QStringLiteral("/usr/share/icons");
      QIcon::setThemeSearchPaths(paths);
    }
    QIcon::setThemeName(QStringLiteral("Adwaita"));
  }
}

QIcon ComputerIcon() {
  static const QIcon icon = Themed("computer", QStyle::SP_ComputerIcon);
  return icon;
}

QIcon DriveIcon(platform::DriveType type) {
  using platform::DriveType;
  switch (type) {
    case DriveType::Remote: {
      static const QIcon icon = Themed("folder-remote", QStyle::SP_DriveNetIcon);
      return icon;
    }
    case DriveType::Removable: {
      static const QIcon icon = Themed("drive-removable-media", QStyle::SP_DriveFDIcon);
      return icon;
    }
    case DriveType::CdRom: {
      static const QIcon icon = Themed("drive-optical", QStyle::SP_DriveCDIcon);
      return icon;
    }
    default: {
      static const QIcon icon = Themed("drive-harddisk", QStyle::SP_DriveHDIcon);
      return icon;
    }
  }
}

QIcon FolderIcon() {
  static const QIcon icon = [] {
    QIcon closed = Themed("folder", QStyle::SP_DirClosedIcon);
    QIcon open = Themed("folder-open", QStyle::SP_DirOpenIcon);
    QIcon both;
    for (int size : {16, 22, 32}) {
      both.addPixmap(closed.pixmap(size, size), QIcon::Normal);
      both.addPixmap(open.pixmap(size, size), QIcon::Selected);
    }
    return both;
  }();
  return icon;
}

QIcon FileIcon(const QString& fileName) {
  static QMimeDatabase mimes;
  static QHash<QString, QIcon> cache;
  const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  auto found = cache.constFind(type.name());
  if (found != cache.constEnd()) return *found;
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = Themed("text-x-generic", QStyle::SP_FileIcon);
  cache.insert(type.name(), icon);
  return icon;
}

}  // namespace velmor::ui::explorer
