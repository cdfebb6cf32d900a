#pragma once
// How an OSC server treats the time tags of received bundles.

enum class OSCTimeTagMode {
    osc1_0, // hold back messages of bundles tagged in the future until their moment
    ignore, // deliver everything at once
};
