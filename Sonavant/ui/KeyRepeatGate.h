#pragma once
// Keeps a held key from queueing more work than the main thread does. A key press asks to
// run its (slow) work later on the main queue; a repeat that arrives while earlier work of
// the key still waits is dropped, so a backlog of repeats turns into one move, and the
// canvas answers again as soon as the key is let go. Presses that are not repeats always
// run, one each. Main thread only.

class KeyRepeatGate {
public:
    // True when the caller should schedule the work and call done() once it ran.
    bool offer(bool isAutoRepeat) {
        if (isAutoRepeat && pending_ > 0)
            return false;
        ++pending_;
        return true;
    }
    void done() {
        if (pending_ > 0)
            --pending_;
    }
    int pending() const { return pending_; }

private:
    int pending_ = 0;
};
