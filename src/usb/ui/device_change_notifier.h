#pragma once
// The event loop's side of the device-change source: a socket notifier on its
// descriptor that drains the notifications and reports one change for them.

#include <QObject>
#include <memory>

#include "usb/device_change.h"

class QSocketNotifier;

namespace ostrel {

class DeviceChangeNotifier : public QObject {
    Q_OBJECT

  public:
    DeviceChangeNotifier(std::unique_ptr<DeviceChangeSource> source, QObject* parent = nullptr);
    ~DeviceChangeNotifier() override;

  signals:
    void devicesChanged();

  private:
    std::unique_ptr<DeviceChangeSource> source_;
    QSocketNotifier* notifier_;
};

}  // namespace ostrel
