#include "scenario_plan.h"

#include <map>

#include "scenario_file.h"

namespace vexa {

std::optional<std::string> planScenarios(const CommandLine& options, FleetPlan& plan) {
  std::map<std::string, std::shared_ptr<const Scenario>> loaded;
  for (UnitPlan& u : plan.units) {
    const bool own = !u.scenarioFile.empty();
    if (!own && options.scenarioFile) u.scenarioFile = *options.scenarioFile;
    // The run options hold for a scenario started later too (console, API).
    u.scenarioRun.timeFactor = options.timeFactor;
    if (!plan.single && u.scenarioRun.offset == 0) {
      u.scenarioRun.offset = options.scenarioStagger * (u.number - 1);
    }
    if (options.scenarioSeed) {
      u.scenarioRun.seed = *options.scenarioSeed + (plan.single ? 0 : u.number - 1);
    }
    if (u.scenarioFile.empty()) continue;
    auto found = loaded.find(u.scenarioFile);
    if (found == loaded.end()) {
      ScenarioLoad load = loadScenarioFile(u.scenarioFile);
      if (!load.ok()) return "scenario file " + load.error;
      found = loaded.emplace(u.scenarioFile, std::move(load.scenario)).first;
    }
    u.scenario = found->second;
    if (!options.scenarioSeed) {
      u.scenarioRun.seed = u.scenario->seed + (plan.single ? 0 : u.number - 1);
    }
  }
  return std::nullopt;
}

}  // namespace vexa
