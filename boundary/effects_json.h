// A dry run's effects and problems as JSON, for the HTTP answer and the C
// ABI's dry-run invoke: {"effects": {...}, "problems": [...]}.
#ifndef PLEXAVO_BOUNDARY_EFFECTS_JSON_H_
#define PLEXAVO_BOUNDARY_EFFECTS_JSON_H_

#include <string>

#include "host/effects.h"

namespace boundary {

// The "effects" object: "stock" (bill, line, shelf, article, serial,
// quantity, before, after), "bom" (order, line, article, serial, bomId
// (null for a row added), quantity, added), "orderLines" (order, line,
// mark "started" or "reset"), "billNumbers" (number, reserved: false) and
// "useLog" (texts). Quantities are JSON numbers, exact.
std::string EffectsJson(const host::Effects& e);
// The "problems" array: one entry per short stock line (kind "short",
// bill, line, shelf, article, serial, needed, available, shortfall).
std::string ProblemsJson(const host::Effects& e);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_EFFECTS_JSON_H_
