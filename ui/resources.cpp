#include "ui/resources.h"

#include <QFile>
#include <QPixmap>

// Resources of a static library are registered by name, or the linker
// would leave them out. Q_INIT_RESOURCE must not stand in a namespace.
static void RegisterResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(quorvelin);
    return true;
  }();
  (void)registered;
}

namespace {

QIcon LoadPicture(const QString& path) {
  RegisterResources();
  const QPixmap pixmap(path);
  return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace

QIcon LoadIconResource(const char* name) {
  return LoadPicture(QStringLiteral(":/icons/") + QString::fromLatin1(name));
}

QIcon LoadToolImage(const char* name) {
  return LoadPicture(QStringLiteral(":/images/") + QString::fromLatin1(name));
}
