#include "fleet_api.h"

#include <iostream>

namespace vexa {

namespace {
// A fleet unit's controls: a scenario started or stopped is rescheduled on the fleet's timer.
class FleetUnitControls final : public api::UnitControls {
 public:
  FleetUnitControls(Fleet& fleet, size_t index)
      : UnitControls(fleet.unit(index), fleet.plan(index).port), fleet_(fleet) {}
  void scenarioChanged() override { fleet_.scheduleScenarios(); }

 private:
  Fleet& fleet_;
};
}  // namespace

FleetApi::FleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options)
    : fleet_(fleet), loop_(loop), bridge_(hub_, fleet.size()), host_(options.address->host) {
  std::vector<api::UnitControls*> controls;
  for (size_t i = 0; i < fleet.size(); ++i) {
    controls_.push_back(std::make_unique<FleetUnitControls>(fleet, i));
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
