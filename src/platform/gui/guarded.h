#pragma once
// Connecting widget signals to the program's handlers. A handler's error must
// not unwind through Qt's signal dispatch: every connection made here runs
// its handler through RunGuarded, which hands an escaping error to the
// standard error report.

#include "text/errors.h"

#include <QObject>
#include <type_traits>
#include <utility>

template <typename Signal, typename Handler>
QMetaObject::Connection ConnectGuarded(const typename QtPrivate::FunctionPointer<Signal>::Object* sender,
                                       Signal signal, const QObject* context, Handler handler) {
    return QObject::connect(sender, signal, context, [handler = std::move(handler)](auto&&... args) mutable {
        RunGuarded([&] {
            if constexpr (std::is_invocable_v<Handler&, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        });
    });
}
