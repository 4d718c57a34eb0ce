#include "gui/PortText.h"

#include <QStringList>

namespace gui {
namespace {

constexpr const char* kUnnamedHolder = "a program of another user";

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString HolderName(const platform::PortHolder& holder) {
  if (holder.program.empty()) {
    return holder.pid > 0 ? QStringLiteral("%1 (pid %2)").arg(kUnnamedHolder).arg(holder.pid)
                          : QString::fromLatin1(kUnnamedHolder);
  }
  if (holder.user.empty())
    return QStringLiteral("%1 (pid %2)").arg(Text(holder.program)).arg(holder.pid);
  return QStringLiteral("%1 (pid %2, user %3)")
      .arg(Text(holder.program))
      .arg(holder.pid)
      .arg(Text(holder.user));
}

}  // namespace

QString HolderText(const std::vector<platform::PortHolder>& holders) {
  QStringList names;
  for (const platform::PortHolder& holder : holders) {
    const QString name = HolderName(holder);
    if (!names.contains(name)) names << name;
  }
  // A lock of a holder outside our view says no more than no holder at all.
  if (names.size() > 1) names.removeAll(QString::fromLatin1(kUnnamedHolder));
  return names.isEmpty() ? QString::fromLatin1(kUnnamedHolder) : names.join(QStringLiteral(", "));
}

QString InUseByText(const QString& holderText) {
  return QStringLiteral("In use by ") + holderText;
}

QString DeviceText(const platform::SerialDeviceInfo& info) {
  QStringList lines;
  auto add = [&](const QString& prefix, const std::string& value) {
    if (!value.empty()) lines << prefix + Text(value);
  };
  add(QString(), info.node);
  add(QString(), info.byId);
  if (!info.vendorId.empty())
    lines << QStringLiteral("USB %1:%2").arg(Text(info.vendorId), Text(info.productId));
  const QString maker =
      QStringList{Text(info.manufacturer), Text(info.product)}.join(' ').trimmed();
  if (!maker.isEmpty()) lines << maker;
  add(QStringLiteral("serial number "), info.serialNumber);
  add(QStringLiteral("driver "), info.driver);
  return lines.join('\n');
}

}  // namespace gui
