#pragma once
// The platform side of the application object: it decides whether this
// process is the running instance of the program, hands a second start's
// files over to the running one, and adjusts keyboard input.
#include <QAbstractNativeEventFilter>

namespace Tessaro {

class CappApplicationPrivateIF : public QAbstractNativeEventFilter {
public:
    ~CappApplicationPrivateIF() override = default;

    // Native events of the windowing system. Returns true when the event was
    // consumed and must not be processed further.
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override = 0;

    // Sends each name that waits for delivery to the application object as a
    // QFileOpenEvent, in arrival order, and empties the waiting list. Returns
    // false, delivering nothing, while a modal widget is active.
    virtual bool deliverPendingFiles() = 0;
};

}  // namespace Tessaro
