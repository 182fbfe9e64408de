#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "unit_snapshot.h"

namespace vexa::api {

// What the HTTP interface needs of the simulated units: read them and change them. Unit ids are
// short strings of letters, digits, '-', '_' and '.'. Every method may be called from any
// thread at any time (the server's request threads); an implementation carries the work to the
// thread that owns the unit (see OwnerQueue) and answers within a bounded time.
class UnitRegistry {
 public:
  virtual ~UnitRegistry() = default;

  // Every unit, in id order; nothing when the units could not be reached in time.
  virtual std::optional<std::vector<UnitSnapshot>> snapshotAll() = 0;

  // The units `ids` name (ids naming none are skipped), in id order as snapshotAll gives them;
  // nothing when the units could not be reached in time. This default reads every unit.
  virtual std::optional<std::vector<UnitSnapshot>> snapshots(const std::set<std::string>& ids);

  // How many units there are; nothing when the units could not be reached in time. This
  // default reads every unit.
  virtual std::optional<size_t> count();

  // Whether `id` names a unit; one that does not answer still does. This default reads it.
  virtual bool has(std::string_view id);

  struct Lookup {
    enum class Outcome { Found, UnknownUnit, Unavailable } outcome = Outcome::Found;
    UnitSnapshot snapshot;
  };
  virtual Lookup snapshot(std::string_view id) = 0;

  // Applies the whole change or, when the unit refuses any part of it, nothing.
  virtual ChangeResult apply(std::string_view id, const UnitChange& change) = 0;
};

}  // namespace vexa::api
