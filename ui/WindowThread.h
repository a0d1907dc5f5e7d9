#pragma once
// Handing work from the wait or the store thread to the window's thread.
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <utility>

// Queues call(*target) onto the window's event loop; any thread may call this. A call still queued
// when target goes away does nothing.
template <class Target, class Call>
void PostToWindow(const QPointer<Target>& target, Call call) {
    QMetaObject::invokeMethod(
        qApp,
        [target, call = std::move(call)]() mutable {
            if (target) {
                call(*target);
            }
        },
        Qt::QueuedConnection);
}
