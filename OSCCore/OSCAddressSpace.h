#pragma once
// The receiving side's directory of OSC methods: a tree of address parts with handler
// blocks at registered addresses. A message is routed by matching its address pattern
// against the tree part by part; every method reached runs its block independently.
// All operations may be called from any thread.

#include "OSCCore/OSCAddressPattern.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCValue.h"
#include "platform/UUID.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class OSCAddressSpace {
public:
    struct MethodID {
        platform::UUID uuid = platform::UUID::random();
        bool operator==(const MethodID&) const = default;
    };

    using Block = std::function<void(std::vector<OSCValue> values)>;
    // Runs one job independently of the caller; dispatch does not wait for it.
    using Executor = std::function<void(std::function<void()> job)>;

    struct Node {
        enum class NodeType { container, method };
        NodeType nodeType = NodeType::container;
        MethodID id;
        std::string name;
        Block block;
        std::vector<std::shared_ptr<Node>> children; // in creation order
    };

    // Blocks run each on a thread of their own.
    OSCAddressSpace();
    explicit OSCAddressSpace(Executor executor);

    // Registers (or replaces the block of) the method at the address; the same address
    // always gives the same identifier. "/" registers nothing and gives an identifier that
    // names no method.
    MethodID registerMethod(std::string_view localAddress, Block block = {});
    MethodID registerMethod(const std::vector<std::string>& parts, Block block = {});
    // True when a method was removed; containers left empty stay.
    bool unregisterMethod(std::string_view localAddress);
    bool unregisterMethod(const std::vector<std::string>& parts);

    // The methods the pattern reaches, in tree order.
    std::vector<MethodID> methods(const OSCAddressPattern& matching) const;
    // Starts the blocks of the methods the message's pattern reaches; returns all their ids.
    std::vector<MethodID> dispatch(const OSCMessage& message) const;
    void removeAllMethods();

private:
    MethodID registerParts(const std::vector<std::string>& parts, Block block);
    bool unregisterParts(const std::vector<std::string>& parts);
    std::vector<std::shared_ptr<Node>> matchingNodes(const OSCAddressPattern& pattern) const;

    Executor executor_;
    mutable std::mutex mutex_;
    std::shared_ptr<Node> root_;
};

template <> struct std::hash<OSCAddressSpace::MethodID> {
    std::size_t operator()(const OSCAddressSpace::MethodID& id) const noexcept {
        return std::hash<platform::UUID>{}(id.uuid);
    }
};
