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

std::vector<std::unique_ptr<api::UnitControls>> controlsOf(Fleet& fleet) {
  std::vector<std::unique_ptr<api::UnitControls>> controls;
  for (size_t i = 0; i < fleet.size(); ++i) {
    controls.push_back(std::make_unique<FleetUnitControls>(fleet, i));
  }
  return controls;
}
}  // namespace

FleetApi::FleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options)
    : loop_(loop), api_(controlsOf(fleet), serverOptions(std::move(options))) {
  // The requests wait for the loop: they come before the units' datagrams.
  loop_.addPriority(api_.owner().fd(), [this] { api_.owner().drain(); });
}

FleetApi::~FleetApi() {
  api_.stop();
  loop_.remove(api_.owner().fd());
}

api::ApiServer::Options serverOptions(ApiOptions options) {
  return {*options.address,
          std::move(options.token),
          VEXA_VERSION,
          std::move(options.allowedHosts),
          options.metricsPublic,
          options.maxConnections,
          {}};
}

size_t descriptorsNeeded(size_t units, const ApiOptions& options) {
  const size_t api = options.address ? options.maxConnections + kApiReserveDescriptors : 0;
  return units + kRunReserveDescriptors + api;
}

bool startAndSay(api::UnitsApi& api) {
  if (const Status started = api.start(); !started.ok()) {
    std::cerr << "vexa-sim: API: " << started.text() << std::endl;
    return false;
  }
  std::cerr << "vexa-sim: API on " << api.url() << std::endl;
  return true;
}

std::unique_ptr<FleetApi> startFleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options,
                                        bool& failed) {
  failed = false;
  if (!options.address) return nullptr;
  auto service = std::make_unique<FleetApi>(fleet, loop, std::move(options));
  if (!service->start()) {
    failed = true;
    return nullptr;
  }
  return service;
}

}  // namespace vexa
