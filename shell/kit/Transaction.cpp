#include "shell/kit/Transaction.h"

#include <QScopeGuard>

namespace kit {

namespace {
// The innermost transaction's animation; an outer one's comes back when an inner one ends.
std::optional<Animation>& current()
{
    static std::optional<Animation> animation;
    return animation;
}
} // namespace

void withAnimation(const std::optional<Animation>& animation, const std::function<void()>& change)
{
    const auto restore = qScopeGuard([outer = current()] { current() = outer; });
    current() = animation;
    if (change) {
        change();
    }
}

std::optional<Animation> transactionAnimation()
{
    return current();
}

Animation layoutSpring()
{
    return Animation::spring(0.32, 1.0, 0);
}

void animateRespectingReduceMotion(const std::function<void()>& change)
{
    withAnimation(respectingReduceMotion(layoutSpring()), change);
}

} // namespace kit
