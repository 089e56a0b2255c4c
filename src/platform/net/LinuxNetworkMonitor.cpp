#include "platform/net/LinuxNetworkMonitor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace ml::net {

namespace {

int openRouteSocket() {
  int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (fd < 0) return -1;
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Reads every queued event; their content does not matter, only that something changed.
void drain(int fd) {
  std::array<char, 8192> buffer;
  while (true) {
    ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);  // the socket is non-blocking
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;  // EAGAIN, ENOBUFS (events were lost: the re-read covers them) or closed
  }
}

}  // namespace

std::shared_ptr<NetworkMonitor> NetworkMonitor::system() {
  static const std::shared_ptr<NetworkMonitor> monitor = std::make_shared<LinuxNetworkMonitor>();
  return monitor;
}

LinuxNetworkMonitor::LinuxNetworkMonitor(RouteTableSources sources, std::chrono::milliseconds recheckInterval)
    : sources_(std::move(sources)), recheckInterval_(recheckInterval) {}

LinuxNetworkMonitor::~LinuxNetworkMonitor() {
  {
    std::lock_guard guard(mutex_);
    if (stopFd_ >= 0) {
      std::uint64_t one = 1;
      [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
    }
  }
  if (watcher_.joinable()) watcher_.join();
  if (stopFd_ >= 0) close(stopFd_);
}

NetworkStatus LinuxNetworkMonitor::currentStatus() const {
  {
    std::lock_guard guard(mutex_);
    if (watching_) return lastStatus_.load();
  }
  return RouteTable::evaluate(sources_);
}

NetworkMonitor::ObserverId LinuxNetworkMonitor::addObserver(Observer observer) {
  std::lock_guard guard(mutex_);
  ObserverId id = nextId_++;
  observers_.emplace(id, std::move(observer));
  if (!watching_) startLocked();
  return id;
}

void LinuxNetworkMonitor::removeObserver(ObserverId id) {
  std::lock_guard guard(mutex_);
  observers_.erase(id);
}

void LinuxNetworkMonitor::startLocked() {
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) return;  // no watcher: currentStatus() keeps reading the tables afresh
  // The status the observers start from; the watcher announces changes from here on.
  lastStatus_ = RouteTable::evaluate(sources_);
  watching_ = true;
  int netlinkFd = openRouteSocket();
  watcher_ = std::thread([this, netlinkFd] { run(netlinkFd); });
}

void LinuxNetworkMonitor::run(int netlinkFd) {
  // Without netlink the tables are polled more often, since nothing else tells of changes.
  int timeout = static_cast<int>(netlinkFd >= 0 ? recheckInterval_.count()
                                                : std::min<long long>(recheckInterval_.count(), 5000));
  while (true) {
    std::array<pollfd, 2> fds{};
    fds[0] = {stopFd_, POLLIN, 0};
    fds[1] = {netlinkFd, POLLIN, 0};
    int ready = poll(fds.data(), netlinkFd >= 0 ? 2 : 1, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    if (netlinkFd >= 0 && (fds[1].revents & POLLIN)) drain(netlinkFd);
    recheck();
  }
  if (netlinkFd >= 0) close(netlinkFd);
}

void LinuxNetworkMonitor::recheck() {
  NetworkStatus status = RouteTable::evaluate(sources_);
  if (lastStatus_.exchange(status) == status) return;
  std::vector<Observer> snapshot;
  {
    std::lock_guard guard(mutex_);
    for (const auto& [id, observer] : observers_) snapshot.push_back(observer);
  }
  for (const auto& observer : snapshot) observer(status);
}

}  // namespace ml::net
