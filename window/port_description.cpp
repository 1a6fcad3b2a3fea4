#include "window/port_description.h"

#include <QStringList>

#include "window/shown_text.h"

namespace window {

namespace {

QString Hex4(int id) {
  return QStringLiteral("%1").arg(id & 0xFFFF, 4, 16, QLatin1Char('0'));
}

}  // namespace

QString PortDescription(const PortEntry& port) {
  QStringList lines;
  lines << ShownLine(port.path);
  if (port.vendorId != 0 || port.productId != 0)
    lines << QStringLiteral("USB ID: %1:%2").arg(Hex4(port.vendorId), Hex4(port.productId));
  const std::pair<const char*, const std::string*> named[] = {{"Manufacturer: ", &port.manufacturer},
                                                              {"Product: ", &port.product},
                                                              {"Serial number: ", &port.serialNumber}};
  for (const auto& [label, value] : named)
    if (!value->empty()) lines << QLatin1String(label) + ShownLine(*value);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace window
