#pragma once

#include "shell/kit/Motion.h"

#include <functional>
#include <optional>

namespace kit {

// Animated changes of views, as one transaction: the kit views that `change` changes (page
// switches, expansions, appearances and removals) animate together with `animation`; with none
// they change at once. Changes made outside a transaction are not animated. Only what the change
// does before it returns counts (a queued update is outside). Main thread only.
void withAnimation(const std::optional<Animation>& animation, const std::function<void()>& change);

// The animation of the transaction running now; none outside one.
std::optional<Animation> transactionAnimation();

// The spring of page switches, list expansions and panel openings: critically damped, response
// 0.32 s.
Animation layoutSpring();

// Runs the change inside `layoutSpring()`, or inside `reduceMotionAnimation()` while Reduce
// Motion is on (read now).
void animateRespectingReduceMotion(const std::function<void()>& change);

} // namespace kit
