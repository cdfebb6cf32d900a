#include "Sonavant/engine/ActionDispatcher.h"

#include "platform/NotificationCenter.h"

void ActionDispatcher::invoke(const Action& slot) {
    if (slot) {
        // A copy: the action may refill its own slot while it runs.
        Action action = slot;
        action();
    }
}

void ActionDispatcher::reset() {
    for (Action* slot : {&addOutput, &addInput, &updateOSC, &clear, &drawPath, &deletePath, &newBlankCanvas,
                         &getPositionsFromDS100, &getSpeakersFromDS100, &zeroSelected})
        *slot = nullptr;
}

void postAppNotification(const std::string& name) {
    platform::NotificationCenter::defaultCenter().post(name);
}
