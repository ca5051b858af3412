#include "solvine_words.h"

#include "cordic_engine.h"
#include "cordic_exception.h"
#include "cordic_model.h"
#include "zel_logger.h"

#include <optional>
#include <stdexcept>

namespace solvine {

struct WordLanes::Impl {
  std::optional<cordic::LanePlan> plan;  // empty for the square root
};

WordLanes::WordLanes(const zelip_cordic_v6_0_config &config) : impl_(std::make_unique<Impl>()) {
  try {
    // A model of its own, without a message channel: lanes never fail on
    // words they take, and the constants are all that is kept.
    const cordic_v6_0 model(config, std::make_unique<ZelLogger>(nullptr, nullptr, config.name));
    const cordic::CordicEngine engine(model);
    if (const cordic::LanePlan *plan = engine.lane_plan()) impl_->plan = *plan;
  } catch (const CORDICException &e) {
    throw std::invalid_argument(e.what());
  }
}

WordLanes::~WordLanes() = default;

bool WordLanes::available() const { return impl_->plan.has_value(); }

bool WordLanes::run(const std::int64_t *x, const std::int64_t *y, const std::int64_t *z, std::size_t count,
                    std::int64_t *a, std::int64_t *b) const {
  if (!impl_->plan) return false;
  return count == 0 || cordic::run_lane_words(*impl_->plan, x, y, z, count, a, b);
}

}  // namespace solvine
