#include "units_api.h"

namespace vexa::api {

namespace {
std::vector<UnitControls*> pointersOf(const std::vector<std::unique_ptr<UnitControls>>& controls) {
  std::vector<UnitControls*> pointers;
  for (const auto& c : controls) pointers.push_back(c.get());
  return pointers;
}
}  // namespace

UnitsApi::UnitsApi(std::vector<std::unique_ptr<UnitControls>> controls, ApiServer::Options options)
    : controls_(std::move(controls)),
      bridge_(hub_, controls_.size()),
      registry_(pointersOf(controls_), owner_, bridge_),
      host_(options.address.host),
      server_(registry_, hub_, std::move(options)) {
  for (const auto& c : controls_) c->unit().setObserver(&bridge_);
}

UnitsApi::~UnitsApi() {
  stop();
  for (const auto& c : controls_) c->unit().setObserver(nullptr);
}

void UnitsApi::stop() {
  owner_.close();  // releases requests waiting for the owner thread
  server_.stop();
}

std::string UnitsApi::url() const {
  return "http://" + host_ + ":" + std::to_string(server_.port()) + "/";
}

}  // namespace vexa::api
