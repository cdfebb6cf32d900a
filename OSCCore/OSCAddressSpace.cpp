#include "OSCCore/OSCAddressSpace.h"

#include "OSCCore/TextUtilities.h"

#include <algorithm>
#include <thread>

namespace {

std::vector<std::string> partsOf(std::string_view address) {
    const OSCAddressPattern pattern(address);
    std::vector<std::string> parts;
    for (auto part : osccore::addressComponents(pattern.rawAddress()))
        parts.emplace_back(part);
    return parts;
}

} // namespace

OSCAddressSpace::OSCAddressSpace()
    : OSCAddressSpace([](std::function<void()> job) { std::thread(std::move(job)).detach(); }) {}

OSCAddressSpace::OSCAddressSpace(Executor executor)
    : executor_(std::move(executor)), root_(std::make_shared<Node>()) {}

OSCAddressSpace::MethodID OSCAddressSpace::registerMethod(std::string_view localAddress, Block block) {
    return registerParts(partsOf(localAddress), std::move(block));
}

OSCAddressSpace::MethodID OSCAddressSpace::registerMethod(const std::vector<std::string>& parts,
                                                          Block block) {
    return registerParts(parts, std::move(block));
}

bool OSCAddressSpace::unregisterMethod(std::string_view localAddress) {
    return unregisterParts(partsOf(localAddress));
}

bool OSCAddressSpace::unregisterMethod(const std::vector<std::string>& parts) {
    return unregisterParts(parts);
}

OSCAddressSpace::MethodID OSCAddressSpace::registerParts(const std::vector<std::string>& parts, Block block) {
    if (parts.empty())
        return MethodID{};
    std::lock_guard lock(mutex_);
    Node* node = root_.get();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        auto found = std::find_if(node->children.begin(), node->children.end(),
                                  [&](const auto& child) { return child->name == parts[i]; });
        if (found == node->children.end()) {
            auto child = std::make_shared<Node>();
            child->name = parts[i];
            node->children.push_back(child);
            found = std::prev(node->children.end());
        }
        node = found->get();
        if (last) {
            node->nodeType = Node::NodeType::method;
            node->block = std::move(block);
        }
    }
    return node->id;
}

bool OSCAddressSpace::unregisterParts(const std::vector<std::string>& parts) {
    if (parts.empty())
        return false;
    std::lock_guard lock(mutex_);
    Node* parent = nullptr;
    Node* node = root_.get();
    for (const auto& part : parts) {
        auto found = std::find_if(node->children.begin(), node->children.end(),
                                  [&](const auto& child) { return child->name == part; });
        if (found == node->children.end())
            return false;
        parent = node;
        node = found->get();
    }
    if (node->nodeType == Node::NodeType::container)
        return false;
    if (node->children.empty()) {
        const MethodID id = node->id;
        std::erase_if(parent->children, [&](const auto& child) { return child->id == id; });
    } else {
        node->nodeType = Node::NodeType::container;
        node->block = nullptr;
    }
    return true;
}

std::vector<std::shared_ptr<OSCAddressSpace::Node>>
OSCAddressSpace::matchingNodes(const OSCAddressPattern& pattern) const {
    const auto components = pattern.components();
    std::vector<std::shared_ptr<Node>> current;
    if (components.empty())
        return current;
    current.push_back(root_);
    for (std::size_t i = 0; i < components.size() && !current.empty(); ++i) {
        const bool last = i + 1 == components.size();
        std::vector<std::shared_ptr<Node>> next;
        for (const auto& node : current)
            for (const auto& child : node->children)
                if ((!last || child->nodeType == Node::NodeType::method) &&
                    components[i].matches(child->name))
                    next.push_back(child);
        current = std::move(next);
    }
    return current;
}

std::vector<OSCAddressSpace::MethodID> OSCAddressSpace::methods(const OSCAddressPattern& matching) const {
    std::lock_guard lock(mutex_);
    std::vector<MethodID> ids;
    for (const auto& node : matchingNodes(matching))
        ids.push_back(node->id);
    return ids;
}

std::vector<OSCAddressSpace::MethodID> OSCAddressSpace::dispatch(const OSCMessage& message) const {
    std::vector<MethodID> ids;
    std::vector<Block> blocks;
    {
        std::lock_guard lock(mutex_);
        for (const auto& node : matchingNodes(message.addressPattern())) {
            ids.push_back(node->id);
            if (node->block)
                blocks.push_back(node->block);
        }
    }
    for (auto& block : blocks)
        executor_([block = std::move(block), values = message.values().vector()]() mutable {
            block(std::move(values));
        });
    return ids;
}

void OSCAddressSpace::removeAllMethods() {
    std::lock_guard lock(mutex_);
    root_ = std::make_shared<Node>();
}
