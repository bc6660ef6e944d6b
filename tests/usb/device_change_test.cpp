// The udev source of device changes: where the machine lets a program listen
// (a container may not), it hands out a descriptor and never blocks on an
// empty queue, since the window drains it from the event loop.
#include "usb/device_change.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

namespace ostrel {
namespace {

TEST(UdevDeviceChanges, AnOpenSourceHasADescriptorAndDrainsWithoutBlocking) {
    auto source = openUdevDeviceChangeSource();
    if (!source) GTEST_SKIP() << "udev's netlink socket is not available here";
    // udev's own netlink socket, non-blocking: the event loop watches it and
    // the drain must come back on an empty queue.
    const int fd = source->fd();
    int domain = -1;
    socklen_t length = sizeof domain;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length), 0) << "not an open socket";
    EXPECT_EQ(domain, AF_NETLINK);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    pollfd watch{fd, POLLIN, 0};
    const int ready = poll(&watch, 1, 0);
    ASSERT_GE(ready, 0);
    if (ready == 0) {
        EXPECT_EQ(source->drain(), 0);
    }
    // Whatever was pending is gone after one drain.
    source->drain();
    EXPECT_EQ(source->drain(), 0);
}

TEST(UdevDeviceChanges, OnlyArrivalsAndRemovalsCount) {
    const struct {
        const char* action;
        bool counts;
    } cases[] = {{"add", true},     {"remove", true}, {"bind", false},   {"unbind", false},
                 {"change", false}, {"move", false},  {"online", false}, {"offline", false},
                 {"", false},       {"Add", false},   {"added", false},  {nullptr, false}};
    for (const auto& c : cases)
        EXPECT_EQ(deviceCameOrWent(c.action), c.counts) << (c.action ? c.action : "null");
}

}  // namespace
}  // namespace ostrel
