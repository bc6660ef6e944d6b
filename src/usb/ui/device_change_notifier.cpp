#include "usb/ui/device_change_notifier.h"

#include <QSocketNotifier>

namespace ostrel {

DeviceChangeNotifier::DeviceChangeNotifier(std::unique_ptr<DeviceChangeSource> source,
                                           QObject* parent)
    : QObject(parent),
      source_(std::move(source)),
      notifier_(new QSocketNotifier(source_->fd(), QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        // A burst of notifications (a hub with several devices) is one change.
        if (source_->drain() > 0) emit devicesChanged();
    });
}

DeviceChangeNotifier::~DeviceChangeNotifier() {
    notifier_->setEnabled(false);
}

}  // namespace ostrel
