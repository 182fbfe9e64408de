#include "fleet_api.h"

#include <iostream>

namespace vexa {

FleetApi::FleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options)
    : fleet_(fleet), loop_(loop), bridge_(hub_, fleet.size()), host_(options.address->host) {
  std::vector<api::UnitControls*> controls;
  for (size_t i = 0; i < fleet.size(); ++i) {
    controls_.push_back(std::make_unique<api::UnitControls>(fleet.unit(i), fleet.plan(i).port));
    controls.push_back(controls_.back().get());
    fleet.unit(i).setObserver(&bridge_);
  }
  registry_ = std::make_unique<api::UnitsRegistry>(std::move(controls), owner_, bridge_);
  server_ = std::make_unique<api::ApiServer>(
      *registry_, hub_,
      api::ApiServer::Options{*options.address, std::move(options.token), VEXA_VERSION});
  loop_.add(owner_.fd(), [this] { owner_.drain(); });
}

FleetApi::~FleetApi() {
  owner_.close();  // releases requests waiting for the loop
  server_->stop();
  loop_.remove(owner_.fd());
  for (size_t i = 0; i < fleet_.size(); ++i) fleet_.unit(i).setObserver(nullptr);
}

Status FleetApi::start() {
  return server_->start();
}

std::string FleetApi::url() const {
  return "http://" + host_ + ":" + std::to_string(server_->port()) + "/";
}

std::unique_ptr<FleetApi> startFleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options,
                                        bool& failed) {
  failed = false;
  if (!options.address) return nullptr;
  auto service = std::make_unique<FleetApi>(fleet, loop, std::move(options));
  if (const Status started = service->start(); !started.ok()) {
    std::cerr << "vexa-sim: API: " << started.text() << std::endl;
    failed = true;
    return nullptr;
  }
  std::cerr << "vexa-sim: API on " << service->url() << std::endl;
  return service;
}

}  // namespace vexa
