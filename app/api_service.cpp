#include "api_service.h"

#include <iostream>

namespace vexa {

ApiService::ApiService(SimulatorHost& host, PanelView& view, SimulatorUnit::Controls controls,
                       api::ApiServer::Options options)
    : host_(host),
      unit_("1", host, view, std::move(controls), owner_, hub_),
      wake_(owner_.fd(), QSocketNotifier::Read),
      host_address_(options.address.host),
      server_(unit_, hub_, std::move(options)) {
  host_.setTrafficObserver(&unit_.tap());
  QObject::connect(&wake_, &QSocketNotifier::activated, [this] { owner_.drain(); });
  QObject::connect(&watch_, &QTimer::timeout, [this] { unit_.lookForChanges(); });
  watch_.start(kWatchIntervalMs);
}

ApiService::~ApiService() {
  owner_.close();  // releases requests waiting for this thread
  server_.stop();
  host_.endpoint().setActive(false);  // its listener thread calls the tap
  host_.setTrafficObserver(nullptr);
}

Status ApiService::start() {
  unit_.lookForChanges();
  return server_.start();
}

std::string ApiService::url() const {
  return "http://" + host_address_ + ":" + std::to_string(server_.port()) + "/";
}

std::unique_ptr<ApiService> makeApiService(const SimulatorHost::Network& network,
                                           SimulatorHost& host, PanelView& view,
                                           SimulatorUnit::Controls controls) {
  if (!network.apiAddress) return nullptr;
  return std::make_unique<ApiService>(
      host, view, std::move(controls),
      api::ApiServer::Options{*network.apiAddress, network.apiToken, VEXA_VERSION});
}

bool startApiService(ApiService& service) {
  const Status started = service.start();
  if (!started.ok()) {
    std::cerr << "vexa-sim: API: " << started.text() << std::endl;
    return false;
  }
  std::cerr << "vexa-sim: API on " << service.url() << std::endl;
  return true;
}

}  // namespace vexa
