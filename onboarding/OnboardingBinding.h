#pragma once

#include <QObject>

#include <functional>

// A two-way link from a step view to a piece of the flow's state: `get` reads the live value,
// `set` writes it back (the flow then saves its draft and tells every view). Steps keep no copy.
template <typename T>
struct Binding
{
    std::function<T()> get;
    std::function<void(const T&)> set;

    T operator()() const { return get(); }
};

// Subscribes a view to every change of the flow's state (a binding's value, the sign-in, the
// permission): `handler` runs after each change for as long as `context` lives, so the view
// re-syncs what it shows.
using StateObserver = std::function<void(QObject* context, std::function<void()> handler)>;
