#include "window/window_resources.h"

#include <QFile>
#include <QSize>

// The resources live in this static library: make sure their registration is linked in.
static void InitWindowResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(vorloader);
    return true;
  }();
  (void)done;
}

namespace window {

namespace {

struct Loaded {
  ResourceScript script;
  std::string error;
};

const Loaded& Load() {
  static const Loaded loaded = [] {
    InitWindowResources();
    Loaded l;
    QFile file(QStringLiteral(":/vorloader/vorloader.layout"));
    if (!file.open(QIODevice::ReadOnly)) {
      l.error = "the window layout resource is missing";
      return l;
    }
    const QByteArray bytes = file.readAll();
    ResourceScriptResult r =
        ParseResourceScript(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (r.script)
      l.script = std::move(*r.script);
    else
      l.error = "window layout: " + r.error;
    return l;
  }();
  return loaded;
}

}  // namespace

const ResourceScript& Resources() {
  return Load().script;
}
const std::string& ResourceError() {
  return Load().error;
}

const DialogTemplate* DialogResource(int id) {
  const auto& dialogs = Resources().dialogs;
  const auto it = dialogs.find(id);
  return it == dialogs.end() ? nullptr : &it->second;
}

QString StringResource(int id) {
  const auto& strings = Resources().strings;
  const auto it = strings.find(id);
  return it == strings.end() ? QString() : QString::fromStdString(it->second);
}

QIcon ApplicationIcon() {
  InitWindowResources();
  QIcon icon;
  for (int size : {16, 32, 48})
    icon.addFile(QStringLiteral(":/vorloader/icons/vorloader-%1.png").arg(size), QSize(size, size));
  return icon;
}

QPixmap ImageResource(int id) {
  InitWindowResources();
  if (id == kIconResourceId) return {QStringLiteral(":/vorloader/icons/vorloader-32.png")};
  if (id == kLogoResourceId) return {QStringLiteral(":/vorloader/logo.png")};
  return {};
}

}  // namespace window
