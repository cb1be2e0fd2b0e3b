#pragma once

#include "shell/kit/FlameToggle.h"

#include <QObject>

#include <functional>

// Binds a switch to a published Bool of a model. The switch shows `read()` now and after every
// `changed` signal; a click calls `write` with the wanted value and then shows `read()` again at
// once, so an operation that refuses (signed out) or fails never leaves the switch showing a
// state the model does not have. The connections live as long as the switch.
template <typename Model, typename... Args>
void bindSwitch(kit::FlameToggle* toggle,
                Model* model,
                void (Model::*changed)(Args...),
                std::function<bool()> read,
                std::function<void(bool)> write)
{
    const auto sync = [toggle, read = std::move(read)] {
        toggle->setOn(read());
    };
    QObject::connect(model, changed, toggle, sync);
    QObject::connect(
        toggle, &kit::FlameToggle::toggleRequested, toggle, [write = std::move(write), sync](bool on) {
            write(on);
            sync();
        });
    sync();
}
